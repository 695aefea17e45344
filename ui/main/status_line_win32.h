// The status line beside the version label: a line of text that needs no
// answer (an export's confirmation, a failed Apply), shown for a while and
// then gone. The window's own thread shows one with Show; other threads and
// lower layers go through DeviceUi::ShowStatus.
#pragma once

#include <string>

#include "app/window_part_win32.h"
#include "widgets/window_win32.h"

namespace kv {

class CStatusLine : public CWindowPart {
 public:
  explicit CStatusLine(WindowContext context) : CWindowPart(std::move(context)), label_(*this) {}

  // At start: placed by its skin key, empty and hidden.
  void Place();
  // Shows the text for durationMs, replacing what was shown.
  void Show(const std::wstring& text, unsigned durationMs);
  // Ends the text shown; the standing text (if any) shows again.
  void Clear();
  // A text that holds while a state lasts (the window showing the defaults
  // instead of the keyboard's configuration): shown whenever no other text
  // is; empty ends it.
  void SetStanding(const std::wstring& text);
  const std::wstring& standing() const { return standing_; }

  bool OnCommand(WORD, WORD) override { return false; }

 private:
  // The label itself, for the timer that ends a text: it lives on the label,
  // so the window's own timers are not involved.
  class Label : public CWindow {
   public:
    explicit Label(CStatusLine& owner) : owner_(owner) {}

   protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

   private:
    CStatusLine& owner_;
  };

  void SetText(const std::wstring& text);

  Label label_;
  std::wstring standing_;
  bool passing_ = false;  // a text of Show is up
};

}  // namespace kv
