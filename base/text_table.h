// The process-wide text table: one slot per text key, filled from the
// language file at start-up, holding a built-in English text until then.
// Texts are UTF-16 (char16_t), independent of the size of wchar_t.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kv {

enum class TextId : uint8_t {
#define KV_TEXT(key, text) key,
#include "base/text_table_keys.inc"
#undef KV_TEXT
  Count
};

inline constexpr size_t kTextIdCount = static_cast<size_t>(TextId::Count);
// The keys every language file has, first in the table: a missing one reads
// as empty. The program's later texts keep their built-in English text when
// an older language file lacks them.
inline constexpr size_t kFileTextCount = 86;

// Texts are read with a 260-character buffer: at most 259 characters are kept.
inline constexpr size_t kTextBufferChars = 260;
inline constexpr size_t kTextMaxChars = kTextBufferChars - 1;

// The key's name in the language file ("UNKNOWN_KEY").
std::string_view textKey(TextId id);
std::u16string_view builtInText(TextId id);

// The slot's current text.
const std::u16string& text(TextId id);
// Replaces the slot's text, cut to kTextMaxChars characters.
void setText(TextId id, std::u16string_view value);
// Puts every slot back to its built-in text.
void resetTextTable();
// Counts every change of the table, so that what is worked out from its
// texts (the font face that carries them) is worked out again only then.
unsigned textTableChanges();

// Han ideographs, kana, Hangul and the CJK symbols and punctuation: a text
// with one needs a face of those scripts. The full-width forms are left out,
// since an English text may carry a full-width comma that a Latin face lacks
// without needing another face for it.
bool isCjkCharacter(char16_t c);
// Whether any text of the table has a CJK character.
bool textTableHasCjk();

// The language file's "language" entry read as its integer prefix; text that
// is not a number counts as 0.
int languageValue(std::u16string_view entry);
// "ENGINSH" when the value is 1, otherwise "CHINESE".
std::u16string_view LanguageSection(int languageValue);
// The help page (in the Help folder) that shows the chosen language first:
// index.html for English; for Chinese zh.html, which opens index.html#zh
// (a file opened through the shell cannot carry a #fragment).
std::u16string_view HelpPageName(int languageValue);

// Further keys other parts read from the same section on demand.
struct LanguageKey {
  const char* key;
  const char16_t* builtIn;
};
// Captions of the profile controls, in the order the main window applies them.
inline constexpr LanguageKey kProfileTextKeys[] = {
    {"PROFILE_1", u"hello"},      {"PROFILE_2", u"hello"},     {"PROFILE_3", u"hello"},
    {"PROFILE_MACRO", u"hello"},  {"PROFILE_DEFAULT", u"hello"}, {"PROFILE_OK", u"hello"},
    {"PROFILE_CANCLE", u"hello"}, {"PROFILE_APPLY", u"hello"},
};
inline constexpr LanguageKey kTrayMenuKeys[] = {
    {"MENU_11", u"Open"}, {"MENU_22", u"About"}, {"MENU_33", u"Exit"}};
inline constexpr LanguageKey kAboutKeys[] = {
    {"GUANYU_JIESHAO", u""}, {"GUANYU_BANQUAN", u""}};

// Texts of the status line, the editor's title, its Default tab and the
// lighting panel's painting hint; the built-in text stands in for an entry
// the language file lacks.
namespace added_text {
inline constexpr LanguageKey kExported{"STATUS_EXPORTED", u"Saved %s"};
inline constexpr LanguageKey kImported{"STATUS_IMPORTED", u"Imported %s into profiles 1-3"};
inline constexpr LanguageKey kExportFailed{"STATUS_EXPORT_FAILED", u"Could not save %s"};
inline constexpr LanguageKey kNoAnswer{
    "STATUS_WRITE_NO_ANSWER", u"The keyboard did not answer. Your changes are still waiting: press Apply to try again."};
inline constexpr LanguageKey kMacrosRefused{
    "STATUS_WRITE_MACROS_REFUSED",
    u"The keyboard refused the macros. Your changes are still waiting: press Apply to try again."};
inline constexpr LanguageKey kKeysRefused{
    "STATUS_WRITE_KEYS_REFUSED",
    u"The keyboard refused the key settings. Your changes are still waiting: press Apply to try again."};
inline constexpr LanguageKey kNotWritten{
    "STATUS_WRITE_FAILED", u"Nothing was written to the keyboard. Your changes are still waiting: press Apply to try again."};
inline constexpr LanguageKey kCacheNotSaved{
    "STATUS_CACHE_NOT_SAVED", u"The keyboard has your changes, but the profile cache could not be saved."};
inline constexpr LanguageKey kGKeyTitle{"EDITOR_TITLE_GKEY", u"%s (bank %s)"};
inline constexpr LanguageKey kDefaultTab{"COMPOSITE_DEFAULT", u"Default"};
inline constexpr LanguageKey kPaintHint{"LIGHTING_PAINT_HINT", u"Clicking keys paints only with the effect \"%s\"."};
// Undo and redo: the button menu's items, the steps' words and the Apply tooltip.
inline constexpr LanguageKey kUndoMenu{"UNDO_MENU", u"Undo"};
inline constexpr LanguageKey kRedoMenu{"REDO_MENU", u"Redo"};
inline constexpr LanguageKey kUndoItem{"UNDO_ITEM", u"Undo: %s"};
inline constexpr LanguageKey kRedoItem{"REDO_ITEM", u"Redo: %s"};
inline constexpr LanguageKey kHistoryUnassigned{"HISTORY_UNASSIGNED", u"default"};
inline constexpr LanguageKey kHistoryDisabled{"HISTORY_DISABLED", u"disabled"};
inline constexpr LanguageKey kHistoryMacro{"HISTORY_MACRO", u"macro %s"};
inline constexpr LanguageKey kHistoryProgram{"HISTORY_PROGRAM", u"program"};
inline constexpr LanguageKey kHistoryText{"HISTORY_TEXT", u"text"};
inline constexpr LanguageKey kHistoryStopMacro{"HISTORY_STOP_MACRO", u"stop macro"};
inline constexpr LanguageKey kHistoryMacros{"HISTORY_MACROS", u"macros: %d changed, %s of %s"};
inline constexpr LanguageKey kHistoryMacroStep{"HISTORY_MACRO_STEP", u"Macros"};
inline constexpr LanguageKey kHistoryRestore{"HISTORY_RESTORE", u"Restore defaults"};
inline constexpr LanguageKey kHistoryImport{"HISTORY_IMPORT", u"Import"};
inline constexpr LanguageKey kHistoryLighting{"HISTORY_LIGHTING", u"Lighting"};
inline constexpr LanguageKey kHistoryReportRate{"HISTORY_REPORT_RATE", u"Report rate"};
inline constexpr LanguageKey kHistoryFlip{"HISTORY_FLIP", u"Flip"};
inline constexpr LanguageKey kApplyMore{"APPLY_MORE", u"and %d more"};
inline constexpr LanguageKey kApplyNothing{"APPLY_NOTHING", u"Nothing is waiting to be written."};
inline constexpr LanguageKey kApplyCount{"APPLY_COUNT", u"Waiting for Apply: %d"};
inline constexpr LanguageKey kApplyUnlisted{"APPLY_UNLISTED", u"Other changes"};
inline constexpr LanguageKey kAll[] = {kExported,     kImported,      kExportFailed, kNoAnswer,  kMacrosRefused,
                                       kKeysRefused,  kNotWritten,    kCacheNotSaved, kGKeyTitle, kDefaultTab,
                                       kPaintHint,    kUndoMenu,      kRedoMenu,     kUndoItem,  kRedoItem,
                                       kHistoryUnassigned, kHistoryDisabled, kHistoryMacro, kHistoryProgram,
                                       kHistoryText, kHistoryStopMacro, kHistoryMacros, kHistoryMacroStep,
                                       kHistoryRestore, kHistoryImport, kHistoryLighting, kHistoryReportRate,
                                       kHistoryFlip, kApplyMore, kApplyNothing, kApplyCount,
                                       kApplyUnlisted};
}  // namespace added_text

// printf-style formatting of a UTF-16 text with %d, %u, %x, %X, %s (UTF-16
// argument) and %%, with optional '0' flag and width. A conversion with no
// argument left, or an unknown one, is copied as it stands: texts come from
// a file anyone can edit, so a format never reads an argument it was not given.
struct TextArg {
  TextArg(long long v) : isText(false), number(v) {}
  TextArg(int v) : isText(false), number(v) {}
  TextArg(unsigned v) : isText(false), number(v) {}
  TextArg(std::u16string_view s) : isText(true), number(0), str(s) {}
  TextArg(const char16_t* s) : isText(true), number(0), str(s) {}
  bool isText;
  long long number;
  std::u16string_view str;
};
std::u16string formatText(std::u16string_view format, std::initializer_list<TextArg> args);

// UTF-16 <-> UTF-8 (invalid sequences become U+FFFD).
std::string toUtf8(std::u16string_view s);
std::u16string fromUtf8(std::string_view s);

}  // namespace kv
