#include "keys/key_summary.h"

#include "model/key_info.h"

namespace kv {

std::u16string gKeyButtonName(int n) {
  std::u16string name = u"G";
  for (char c : std::to_string(n + 1)) name += static_cast<char16_t>(c);
  return name;
}

std::u16string keyButtonName(KeyCode code) { return KeyName(code); }

std::u16string keySummaryText(std::u16string_view name, const KeyActionEntry& e, const MacroList& macros) {
  std::u16string t(name);
  if (e.type != ActionType::Default) {
    t += text(TextId::KEY_PROMPT_SET);
    auto detail = [&](TextId prompt, std::u16string_view what) {
      t += text(prompt);
      t += what;
      t += u")";
    };
    switch (e.type) {
      case ActionType::SingleKey:
        detail(TextId::KEY_PROMPT_SINGLE, KeyName(static_cast<KeyCode>(e.value)));
        break;
      case ActionType::PlayMacro: {
        std::u16string_view macro;
        for (const MacroRecord& m : macros)
          if (m.id == (e.value & 0xFFFF)) {
            macro = macroName(m);
            break;
          }
        detail(TextId::KEY_PROMPT_MACRO, macro);
        break;
      }
      case ActionType::Media:
        detail(TextId::KEY_PROMPT_MEDIA,
               e.value < kMediaFunctionCount ? KeyName(MediaFunctionList[e.value].keyCode) : std::u16string());
        break;
      case ActionType::FunctionKey:
        detail(TextId::KEY_PROMPT_FUNCTION, functionKeyName(e.value));
        break;
      default:
        break;  // disabled, program, stop macro, text: the set text alone
    }
  }
  if (t.size() > kMaxTooltipChars) t.resize(kMaxTooltipChars);
  return t;
}

std::u16string keyAccessibleName(std::u16string_view name, const KeyActionEntry& e, const MacroList& macros) {
  if (e.type == ActionType::Default) return formatText(text(TextId::ACCESS_KEY_DEFAULT), {name});
  if (e.type == ActionType::SingleKey) {
    const std::u16string key = KeyName(static_cast<KeyCode>(e.value));
    return formatText(text(TextId::ACCESS_KEY_REMAPPED), {name, std::u16string_view(key)});
  }
  // The tooltip's account of the function, without the name and the set text
  // it starts with.
  std::u16string summary = keySummaryText(u"", e, macros);
  const std::u16string& set = text(TextId::KEY_PROMPT_SET);
  std::u16string_view what(summary);
  if (what.starts_with(set)) what.remove_prefix(set.size());
  return formatText(text(TextId::ACCESS_KEY_SET), {name, what});
}

std::u16string gKeySummaryText(int n, const KeyActionEntry& e, const MacroList& macros) {
  std::u16string t = keySummaryText(gKeyButtonName(n), e, macros);
  if (e.type == ActionType::Default) return t;
  std::u16string note = u" \u2014 " + text(TextId::GKEY_KEPT_BY_PROGRAM);
  if (note.size() >= kMaxTooltipChars) return t;
  if (t.size() > kMaxTooltipChars - note.size()) t.resize(kMaxTooltipChars - note.size());
  return t + note;
}

}  // namespace kv
