#include "base/profile_cache_win32.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace kv {
namespace {

// Case is ignored in section and key names as the platform's reader does:
// ordinal, not by the rules of a language.
bool sameName(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

std::wstring upper(std::wstring_view s) {
  std::wstring u(s);
  if (!u.empty()) CharUpperBuffW(u.data(), static_cast<DWORD>(u.size()));
  return u;
}

struct Entry {
  std::wstring name;
  std::optional<std::wstring> value;  // none: a line without '='
};

struct CachedFile {
  FILETIME written{};
  ULONGLONG size = 0;
  std::map<std::wstring, std::vector<Entry>> sections;  // by upper-cased name
};

constexpr DWORD kFirstSectionChars = 1 << 14;
constexpr DWORD kMaxSectionChars = 1 << 22;

// The section as the platform's reader gives it: "name=value" entries, each
// ending in a zero, in the order of the file. Nothing when it does not fit
// the largest buffer tried.
std::optional<std::vector<Entry>> readSection(const std::wstring& path, const std::wstring& section) {
  for (DWORD size = kFirstSectionChars; size <= kMaxSectionChars; size *= 4) {
    std::vector<wchar_t> buf(size, L'\0');
    DWORD n = GetPrivateProfileSectionW(section.c_str(), buf.data(), size, path.c_str());
    if (n == size - 2) continue;  // cut short: a larger buffer
    std::vector<Entry> entries;
    for (const wchar_t* p = buf.data(); p < buf.data() + n && *p;) {
      std::wstring_view line(p);
      p += line.size() + 1;
      size_t eq = line.find(L'=');
      if (eq == std::wstring_view::npos)
        entries.push_back({std::wstring(line), std::nullopt});
      else
        entries.push_back({std::wstring(line.substr(0, eq)), std::wstring(line.substr(eq + 1))});
    }
    return entries;
  }
  return std::nullopt;
}

class ProfileCache {
 public:
  void mark(const std::wstring& path) {
    std::lock_guard lock(mutex_);
    files_.try_emplace(upper(path));
  }

  std::optional<std::wstring> lookup(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                                     size_t bufferChars) {
    if (bufferChars == 0) return std::nullopt;
    std::lock_guard lock(mutex_);
    auto file = files_.find(upper(path));
    if (file == files_.end()) return std::nullopt;
    CachedFile& f = file->second;
    WIN32_FILE_ATTRIBUTE_DATA now{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &now)) {
      f.sections.clear();
      return std::nullopt;
    }
    ULONGLONG size = (ULONGLONG(now.nFileSizeHigh) << 32) | now.nFileSizeLow;
    if (CompareFileTime(&now.ftLastWriteTime, &f.written) != 0 || size != f.size) {
      f.sections.clear();
      f.written = now.ftLastWriteTime;
      f.size = size;
    }
    std::wstring sectionName(section);
    std::wstring sectionKey = upper(sectionName);
    auto it = f.sections.find(sectionKey);
    if (it == f.sections.end()) {
      std::optional<std::vector<Entry>> entries = readSection(path, sectionName);
      if (!entries) return std::nullopt;
      it = f.sections.emplace(sectionKey, std::move(*entries)).first;
    }
    for (const Entry& e : it->second) {
      if (!sameName(e.name, key)) continue;
      // The first entry of the name is the one the reader finds. A quoted
      // value is left to the reader, which strips the quotes.
      if (!e.value || (!e.value->empty() && (e.value->front() == L'"' || e.value->front() == L'\'')))
        return std::nullopt;
      return e.value->substr(0, bufferChars - 1);
    }
    return std::nullopt;
  }

 private:
  std::mutex mutex_;
  std::map<std::wstring, CachedFile> files_;  // by upper-cased path
};

ProfileCache& cache() {
  static ProfileCache c;
  return c;
}

}  // namespace

void CacheReadOnlyProfile(const std::wstring& path) { cache().mark(path); }

std::optional<std::wstring> CachedProfileText(const std::wstring& path, std::wstring_view section,
                                              std::wstring_view key, size_t bufferChars) {
  return cache().lookup(path, section, key, bufferChars);
}

}  // namespace kv
