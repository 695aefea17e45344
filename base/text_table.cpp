#include "base/text_table.h"

#include <array>
#include <atomic>

namespace kv {
namespace {

struct TextEntry {
  std::string_view key;
  std::u16string_view builtIn;
};

constexpr TextEntry kTextEntries[] = {
#define KV_TEXT(key, text) {#key, text},
#include "base/text_table_keys.inc"
#undef KV_TEXT
};
static_assert(std::size(kTextEntries) == kTextIdCount);
static_assert(kTextIdCount >= kFileTextCount && kTextEntries[kFileTextCount - 1].key == "MAIN_NO_DEVICE_PROMPT",
              "the keys of every language file come first");

std::array<std::u16string, kTextIdCount>& slots() {
  static std::array<std::u16string, kTextIdCount> s = [] {
    std::array<std::u16string, kTextIdCount> init;
    for (size_t i = 0; i < kTextIdCount; ++i) init[i] = std::u16string(kTextEntries[i].builtIn);
    return init;
  }();
  return s;
}

size_t index(TextId id) { return static_cast<size_t>(id); }

std::atomic<unsigned> tableChanges{0};

void appendNumber(std::u16string& out, long long value, bool hex, bool upper, bool zeroPad, size_t width,
                  bool isUnsigned) {
  char buf[32];
  size_t n = 0;
  bool negative = false;
  unsigned long long v;
  if (hex || isUnsigned) {
    v = static_cast<unsigned long long>(value) & (hex ? 0xFFFFFFFFull : ~0ull);
  } else {
    negative = value < 0;
    v = negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  }
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  unsigned base = hex ? 16 : 10;
  do {
    buf[n++] = digits[v % base];
    v /= base;
  } while (v != 0 && n < sizeof buf);
  size_t len = n + (negative ? 1 : 0);
  if (!zeroPad)
    for (size_t i = len; i < width; ++i) out.push_back(u' ');
  if (negative) out.push_back(u'-');
  if (zeroPad)
    for (size_t i = len; i < width; ++i) out.push_back(u'0');
  while (n > 0) out.push_back(static_cast<char16_t>(buf[--n]));
}

}  // namespace

std::string_view textKey(TextId id) { return kTextEntries[index(id)].key; }
std::u16string_view builtInText(TextId id) { return kTextEntries[index(id)].builtIn; }
const std::u16string& text(TextId id) { return slots()[index(id)]; }

void setText(TextId id, std::u16string_view value) {
  slots()[index(id)] = std::u16string(value.substr(0, kTextMaxChars));
  ++tableChanges;
}

void resetTextTable() {
  for (size_t i = 0; i < kTextIdCount; ++i) slots()[i] = std::u16string(kTextEntries[i].builtIn);
  ++tableChanges;
}

unsigned textTableChanges() { return tableChanges.load(); }

bool isCjkCharacter(char16_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF);
}

bool textTableHasCjk() {
  for (const std::u16string& t : slots())
    for (char16_t c : t)
      if (isCjkCharacter(c)) return true;
  return false;
}

int languageValue(std::u16string_view entry) {
  size_t i = 0;
  while (i < entry.size() && (entry[i] == u' ' || entry[i] == u'\t')) ++i;
  bool negative = false;
  if (i < entry.size() && (entry[i] == u'-' || entry[i] == u'+')) negative = entry[i++] == u'-';
  long long v = 0;
  for (; i < entry.size() && entry[i] >= u'0' && entry[i] <= u'9'; ++i) {
    v = v * 10 + (entry[i] - u'0');
    if (v > 0x7FFFFFFF) v = 0x7FFFFFFF;
  }
  return static_cast<int>(negative ? -v : v);
}

std::u16string_view LanguageSection(int value) { return value == 1 ? u"ENGINSH" : u"CHINESE"; }

std::u16string_view HelpPageName(int value) { return value == 1 ? u"index.html" : u"zh.html"; }

std::u16string formatText(std::u16string_view format, std::initializer_list<TextArg> args) {
  std::u16string out;
  auto next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    char16_t c = format[i];
    if (c != u'%') {
      out.push_back(c);
      continue;
    }
    size_t start = i;
    size_t j = i + 1;
    if (j < format.size() && format[j] == u'%') {
      out.push_back(u'%');
      i = j;
      continue;
    }
    bool zeroPad = false;
    if (j < format.size() && format[j] == u'0') {
      zeroPad = true;
      ++j;
    }
    size_t width = 0;
    while (j < format.size() && format[j] >= u'0' && format[j] <= u'9' && width < 64) width = width * 10 + (format[j++] - u'0');
    while (j < format.size() && format[j] == u'l') ++j;
    if (j >= format.size()) {
      out.append(format.substr(start));
      break;
    }
    char16_t conv = format[j];
    bool known = conv == u'd' || conv == u'i' || conv == u'u' || conv == u'x' || conv == u'X' || conv == u's';
    bool fits = next != args.end() && (conv == u's') == next->isText;
    if (!known || !fits) {
      out.append(format.substr(start, j - start + 1));
      i = j;
      continue;
    }
    if (conv == u's') {
      for (size_t k = next->str.size(); k < width; ++k) out.push_back(u' ');
      out.append(next->str);
    } else {
      appendNumber(out, next->number, conv == u'x' || conv == u'X', conv == u'X', zeroPad, width, conv == u'u');
    }
    ++next;
    i = j;
  }
  return out;
}

std::string toUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::u16string fromUtf8(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    size_t len;
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else { out.push_back(0xFFFD); ++i; continue; }
    if (i + len > s.size()) { out.push_back(0xFFFD); break; }
    bool ok = true;
    for (size_t k = 1; k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { out.push_back(0xFFFD); ++i; continue; }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

}  // namespace kv
