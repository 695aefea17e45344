// The lighting panel with the report-rate buttons and the indicators (lock
// keys and G-key bank): the lamp that opens and closes the panel, the effect
// list, the brightness and speed controls, the user patterns painted on the
// keyboard picture, and the report rate. Every change is written to the
// keyboard at once through the lighting model.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "app/window_part_win32.h"
#include "base/handles_win32.h"
#include "keys/edit_history.h"
#include "model/lighting.h"
#include "skin/bitmap_slider_win32.h"
#include "skin/colour_button_win32.h"

namespace kv {

// The settings file (wskb.ini) through the system's profile-string calls.
class CIniSettingsFile : public SettingsFile {
 public:
  void SetPath(std::wstring path) { path_ = std::move(path); }
  const std::wstring& path() const { return path_; }
  std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                            std::u16string_view fallback) override;
  bool WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value) override;

 private:
  std::wstring path_;
};

class CLightingPanel : public CWindowPart, private LightingView {
 public:
  explicit CLightingPanel(WindowContext context);

  // At start: the report-rate buttons and indicators placed, every panel
  // control placed and shown or hidden as the closed panel shows them, the
  // lamp, the level controls, the busy frames and the labels from the skin
  // file. keyboard: the part owning the key buttons the overlays go on.
  void Build(const std::wstring& settingsFile, CWindowPart& keyboard);
  // The ten user patterns of the user-mode list.
  void FillUserModes();

  // Reads the lighting from the keyboard and shows it (start-up, reload,
  // the keyboard's own lighting change).
  void Reload();
  // The same with the reads already made for the selected profile.
  void Reload(const LightingRead& read);
  // Profile button n: that profile's lighting is read and shown, and an
  // open panel closes as the lamp closes it.
  void OnProfileSelected(int profile);
  // While held, refreshes leave the report-rate buttons as they are (a
  // profile switch waiting for its save prompt); releasing shows the
  // selected profile's rate.
  void HoldReportRate(bool hold);
  // Restore defaults: the lighting defaults are written only while the
  // panel is open. Returns 1 or the first failing device result.
  int ResetIfOpen();
  bool panelOpen() const { return model_.lightingPanelOpen(); }

  // A key button, D1-D6 or Fn was clicked: true when the panel took the
  // click (it is open), so the key editor must not open.
  bool OnKeyPaintClick(int id);
  // Level control message (0x28D1).
  void OnLevelChanged(int id, int position);
  // Messages on their way to the window: painting by dragging over keys and
  // the arrow keys swallowed while the effect list has the focus. True when
  // the message is consumed.
  bool PreTranslate(const MSG& msg);

  // The busy animation's progress picture.
  void ShowProgress(bool visible);
  void NextBusyFrame();
  // The G-bank indicator's look for the bank.
  void ShowBankIndicator(bool bankB);

  bool OnCommand(WORD id, WORD code) override;

  // Each change the user made here that wrote to the keyboard, as an undo step.
  void SetStepRecorder(std::function<void(EditStep)> recorder) { recorder_ = std::move(recorder); }
  // Writes a step's bytes back (undo) or again (redo) and shows the result;
  // 1 or the failing device result. A step of another profile than the
  // selected one writes nothing.
  [[nodiscard]] int WriteBack(const EditStep& step, bool undo);

  const LightingModel& model() const { return model_; }

 private:
  // LightingView
  void SetKeyOverlay(uint16_t controlId, Colour colour, uint8_t opacity) override;
  void SetKeyTint(uint16_t controlId, Colour colour, uint8_t opacity) override;
  void RemoveKeyOverlays() override;
  void ShowReportRate(int index) override;
  void ShowLightingReset() override;

  void PlaceButtons();
  void PlacePanel();
  void SetLabels();
  void Refresh();
  void FillEffectList();
  void OnEffectChanged();
  void OnLampClicked();
  void ClosePanel();
  void OnUserModeChanged();
  void ShowLevels();
  void ShowLamp(bool open);
  void ShowTools(int tool);
  void ShowFillClear(int selected);  // 0 fill, 1 clear, -1 neither
  void ShowHiddenControls();
  void ShowControls(const LightingVisibility& visible, int effect);
  // A field's control was used: the value stored and written, the controls
  // and the keyboard picture showing it.
  void OnFieldChosen(LightingField field, uint32_t value);
  void OnColourClicked(LightingField field, COLORREF current);
  // The system's colour dialog, owned by the main window, with the custom
  // colours of the settings file. False when the user cancelled.
  bool PickColour(COLORREF& colour);
  void HidePanelControls();
  int SelectedEffect() const;
  bool PaintingKeys() const;
  void PaintStrokeKey(int id);
  void SetPicture(int id, const std::wstring& file);
  // Runs a change, keeping what it wrote as one step of that kind; steps of
  // one non-zero stroke are joined.
  void Recorded(StepKind kind, uint32_t stroke, const std::function<void()>& change);
  HBITMAP Picture(const std::wstring& file);

  CIniSettingsFile settings_;
  bool reportRateHeld_ = false;
  LightingModel model_;
  CWindowPart* keyboard_ = nullptr;
  CBitmapSlider brightness_;
  CBitmapSlider speed_;
  std::array<UniqueBitmap, 10> busyFrames_;
  int busyFrame_ = 0;
  std::map<std::wstring, UniqueBitmap> pictures_;  // shown in static controls, by file name
  std::array<CColourButton, 7> colourButtons_;      // in the order of kColourButtons
  int directionVariant_ = -1;                        // the skin keys the direction controls are at

  // A paint stroke: the keys it has painted, and the key it started on,
  // whose click ends the stroke without painting again.
  bool stroking_ = false;
  int strokeStart_ = 0;
  bool strokeClickPending_ = false;
  std::set<int> strokeKeys_;
  uint32_t strokeId_ = 0;  // of the stroke under way, numbered from 1

  std::function<void(EditStep)> recorder_;
};

}  // namespace kv
