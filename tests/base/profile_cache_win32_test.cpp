// Entries of read-only INI files answered from memory: the same texts the
// platform's reader gives, and a changed file read again.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/profile_cache_win32.h"
#include "base/text_table_win32.h"
#include "tests/skin/skin_test_util_win32.h"

namespace kv {
namespace {

std::wstring tempPath(const wchar_t* name) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  return std::wstring(tmp) + name;
}

// Written the way users and editors write INI files: blanks around names and
// values, quotes, names twice, a section twice, comments, lines without '='.
const std::wstring kContent =
    L"; a comment\r\n"
    L"[SCREEN]\r\n"
    L"Main=main_bg.jpg\r\n"
    L"  Spaced  =  10, 20 ,30,40  \r\n"
    L"Empty=\r\n"
    L"Quoted=\"Driver \"\r\n"
    L"Single='x'\r\n"
    L"Half=\"open\r\n"
    L"Equals=a=b=c\r\n"
    L"Twice=first\r\n"
    L"twice=second\r\n"
    L"NoValue\r\n"
    L";Hidden=1\r\n"
    L"Long=" + std::wstring(300, L'w') + L"\r\n"
    L"Chinese=\u952e\u76d8\u8bbe\u7f6e\r\n"
    L"[buttoninfo]\r\n"
    L"KEY_01E=10,20,30,40\r\n"
    L"[SCREEN]\r\n"
    L"Later=in the second SCREEN\r\n"
    L"Main=again\r\n";

class ProfileCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cached_ = tempPath(L"kv_profile_cache_test.ini");
    plain_ = tempPath(L"kv_profile_cache_plain.ini");
    test::writeIni(cached_, kContent);
    test::writeIni(plain_, kContent);
    CacheReadOnlyProfile(cached_);
  }
  void TearDown() override {
    DeleteFileW(cached_.c_str());
    DeleteFileW(plain_.c_str());
  }
  std::wstring cached_, plain_;
};

TEST_F(ProfileCacheTest, GivesWhatThePlatformReaderGives) {
  struct Case {
    const wchar_t* section;
    const wchar_t* key;
    const wchar_t* fallback;
    size_t buffer;
    bool fromMemory;  // a plain entry, answered without the platform's reader
  };
  const Case cases[] = {
      {L"SCREEN", L"Main", L"", 260, true},          {L"screen", L"MAIN", L"", 260, true},
      {L"SCREEN", L"Spaced", L"", 260, true},        {L"SCREEN", L"Empty", L"dflt", 260, true},
      {L"SCREEN", L"Quoted", L"", 260, false},       {L"SCREEN", L"Single", L"", 260, false},
      {L"SCREEN", L"Half", L"", 260, false},         {L"SCREEN", L"Equals", L"", 260, true},
      {L"SCREEN", L"Twice", L"", 260, true},         {L"SCREEN", L"NoValue", L"dflt", 260, false},
      {L"SCREEN", L";Hidden", L"dflt", 260, false},  {L"SCREEN", L"Long", L"", 260, true},
      {L"SCREEN", L"Long", L"", 10, true},           {L"SCREEN", L"Long", L"", 1, true},
      {L"SCREEN", L"Chinese", L"", 260, true},       {L"BUTTONINFO", L"KEY_01E", L"1,1,1,1,x", 260, true},
      {L"SCREEN", L"Later", L"dflt", 260, false},    {L"SCREEN", L"Missing", L"1,1,1,1,x", 260, false},
      {L"NOSECTION", L"Main", L"dflt", 260, false},  {L"SCREEN", L"Missing", L" ", 260, false},
  };
  for (const Case& c : cases) {
    std::wstring expected = ReadProfileText(plain_, c.section, c.key, c.fallback, c.buffer);
    EXPECT_EQ(ReadProfileText(cached_, c.section, c.key, c.fallback, c.buffer), expected)
        << "[" << std::filesystem::path(c.section).string() << "] " << std::filesystem::path(c.key).string();
    EXPECT_EQ(CachedProfileText(cached_, c.section, c.key, c.buffer).has_value(), c.fromMemory)
        << std::filesystem::path(c.key).string();
    EXPECT_FALSE(CachedProfileText(plain_, c.section, c.key, c.buffer).has_value()) << "an unmarked file";
  }
}

TEST_F(ProfileCacheTest, AChangedFileIsReadAgain) {
  EXPECT_EQ(ReadProfileText(cached_, L"SCREEN", L"Main"), L"main_bg.jpg");
  // The same length, so only the file's time tells the change.
  std::wstring changed = kContent;
  changed.replace(changed.find(L"main_bg.jpg"), 11, L"main_xx.jpg");
  test::writeIni(cached_, changed);
  HANDLE f = CreateFileW(cached_.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t{};
  t.LowPart = now.dwLowDateTime;
  t.HighPart = now.dwHighDateTime;
  t.QuadPart += 10'000'000ULL * 60;  // a minute ahead
  FILETIME later{t.LowPart, t.HighPart};
  EXPECT_TRUE(SetFileTime(f, nullptr, nullptr, &later));
  CloseHandle(f);
  EXPECT_EQ(ReadProfileText(cached_, L"SCREEN", L"Main"), L"main_xx.jpg");
  // Another length.
  test::writeIni(cached_, L"[SCREEN]\r\nMain=shorter.jpg\r\n");
  EXPECT_EQ(ReadProfileText(cached_, L"SCREEN", L"Main"), L"shorter.jpg");
  // Gone: the platform's reader gives the default.
  DeleteFileW(cached_.c_str());
  EXPECT_EQ(ReadProfileText(cached_, L"SCREEN", L"Main", L"dflt"), L"dflt");
}

}  // namespace
}  // namespace kv
