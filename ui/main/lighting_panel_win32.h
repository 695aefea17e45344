// The lighting panel with the report-rate buttons and the indicators (lock
// keys and G-key bank). Later issues fill in the lighting controls and the
// report-rate clicks here.
#pragma once

#include <array>
#include <vector>

#include "app/window_part_win32.h"
#include "widgets/handles_win32.h"

namespace kv {

class CLightingPanel : public CWindowPart {
 public:
  using CWindowPart::CWindowPart;

  // At start: the report-rate buttons and indicators placed, every panel
  // control placed and shown or hidden as the closed panel shows them, the
  // lamp, the busy frames and the labels from the skin file.
  void Build(const std::wstring& settingsFile);
  // The ten user patterns of the user-mode list.
  void FillUserModes();

  // The busy animation's progress picture.
  void ShowProgress(bool visible);
  void NextBusyFrame();
  // The G-bank indicator's look for the bank.
  void ShowBankIndicator(bool bankB);

  bool OnCommand(WORD id, WORD code) override;

 private:
  void PlaceButtons();
  void PlacePanel(const std::wstring& settingsFile);
  void SetLabels();

  std::array<UniqueBitmap, 10> busyFrames_;
  int busyFrame_ = 0;
  std::vector<UniqueBitmap> pictures_;  // bitmaps shown in static controls
};

}  // namespace kv
