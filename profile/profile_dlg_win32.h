// The profile manager (template 131): the on-board profiles and the profile
// files the user added, one of them marked as the one to make active, with
// Load, New, Delete, Apply, OK and Cancel. A skinned modal dialog held by the
// main window's profile switching.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "base/handles_win32.h"
#include "profile/profile_switch.h"
#include "skin/base_dialog_win32.h"
#include "skin/png_button_win32.h"
#include "skin/skin_picture_win32.h"

namespace kv {

class ProfileStore;

// What the profile manager asks of the window that holds it.
class ProfileManagerHost {
 public:
  virtual ~ProfileManagerHost() = default;
  // The profile files' store; null before the window has one.
  virtual ProfileStore* profileStore() = 0;
  // After Apply: the configuration read again from the keyboard, the profile
  // buttons, the lighting and the profile menu shown for it, and the main
  // window's Apply disabled.
  virtual void afterManagerApply() = 0;
  virtual void openHelp() = 0;
};

class CKorvalin_DlgProfile : public CBaseDialog {
 public:
  CKorvalin_DlgProfile(CWindow* parent, std::wstring skinFile, std::wstring skinsFolder, ProfileManagerHost& host);

  // Open from its start until it closes.
  bool opened() const { return openCount_ > 0; }
  // The main window closes it this way when it shuts down: as Cancel.
  void closeIfOpen() {
    if (opened()) OnCancel();
  }
  // Changes in the list not yet applied.
  bool applyEnabled() const { return applyEnabled_; }
  // A switch made while the dialog is open: the row of that profile marked,
  // nothing left to apply.
  void markActiveProfile(int profile);

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool OnCommand(WORD id, WORD code, HWND control) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  bool PreTranslateMessage(MSG& msg) override;

 private:
  void CentreOnOwner();
  void LoadSurfaces();
  void SkinControls();
  void MakeColumns();
  void FillRows();
  void InsertRow(int row);
  void ShowMark();
  void OnMarkChanged(int row, bool marked);
  void Load();
  void New();
  void Delete();
  void Apply();
  void Closing();
  void EnableApply(bool enabled);
  CPngButton& Button(int id);
  HWND list() const;

  ProfileManagerHost& host_;
  ProfileList rows_;
  SkinSurface normal_, over_, down_;
  bool surfacesLoaded_ = false;
  CPngButtonSet buttons_;
  UniqueFont headerFont_;
  bool showingMark_ = false;  // the list's own notifications of a mark set here
  bool applyEnabled_ = false;
  int openCount_ = 0;
};

}  // namespace kv
