// Profile switching: what the profile buttons, the profile menu and the
// profiles button show, the switch's decisions around the save prompt, the
// revert to the profile cache, and the profile manager's list.
#include "profile/profile_switch.h"

#include <functional>
#include <string>

#include "device/protocol.h"
#include "tests/profile/store_fixture.h"

namespace kvtest {
namespace {

using kv::ActionType;

TEST(ProfileSwitch, OnlyAnOnBoardProfileIsShownSelected) {
  const std::pair<int, std::optional<int>> cases[] = {
      {-1, std::nullopt}, {0, 0}, {1, 1}, {2, 2}, {3, std::nullopt}, {255, std::nullopt}, {-201, std::nullopt}};
  for (auto [active, shown] : cases) EXPECT_EQ(kv::shownProfile(active), shown) << active;
}

TEST(ProfileSwitch, NumbersAboveTwoAreProfileZeroAndNegativesStay) {
  const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {4, 0}, {255, 0}, {-1, -1}, {-5, -5}};
  for (auto [asked, target] : cases) EXPECT_EQ(kv::switchTarget(asked), target) << asked;
}

using ProfilesButton = StoreTest;

TEST_F(ProfilesButton, NamesTheActiveProfilesCacheFileOrTheDefault) {
  for (int p = 0; p < kv::kOnBoardProfiles; ++p)
    EXPECT_EQ(kv::profilesButtonText(*store_, p, u"<Default>"), u"$Profile0");  // one cache file for all three
  for (int active : {-1, 3}) EXPECT_EQ(kv::profilesButtonText(*store_, active, u"<Default>"), u"<Default>");
}

TEST_F(ProfilesButton, MenuMarksTheActiveProfilesItemOrTheDefault) {
  kv::ProfileMenu menu = kv::profileMenu(*store_, 1, u"<Default Profile>");
  const std::vector<kv::ProfileMenuItem> items = {
      {9000, u"<Default Profile>"}, {0, u""}, {9001, u"$Profile0"}, {9002, u"$Profile0"}, {9003, u"$Profile0"}};
  EXPECT_EQ(menu.items, items);
  const std::pair<int, int> marks[] = {{0, 2}, {1, 3}, {2, 4}, {-1, 0}, {3, 0}};
  for (auto [active, position] : marks) EXPECT_EQ(kv::profileMenu(*store_, active, u"d").marked, position) << active;
}

// ---- the switch --------------------------------------------------------------------------

// A window that writes down what the switch asked of it.
struct RecordingHost : kv::ProfileSwitchHost {
  bool editor = false;
  bool unapplied = false;
  bool answerYes = false;
  bool applyWrites = true;
  int setResult = kv::kResultSuccess;
  std::function<void()> duringPrompt;  // runs while the prompt is showing
  std::string log;

  void note(const std::string& s) { log += (log.empty() ? "" : ",") + s; }
  bool editorOpen() override { return editor; }
  bool unappliedChanges() override { return unapplied; }
  void refuseWhileEditorOpen() override { note("refuse"); }
  bool askSaveChanges() override {
    note("ask");
    if (duringPrompt) duringPrompt();
    return answerYes;
  }
  bool applyAndWait() override {
    note("apply");
    if (applyWrites) unapplied = false;
    return applyWrites;
  }
  void revertToCache() override {
    note("revert");
    unapplied = false;
  }
  int setActiveProfile(int p) override {
    note("set" + std::to_string(p));
    return setResult;
  }
  void markManagerRow(int p) override { note("mark" + std::to_string(p)); }
  void showActiveProfile(int p) override { note("show" + std::to_string(p)); }
  void buildProfileMenu() override { note("menu"); }
};

TEST(ProfileSwitcher, DecidesAroundTheEditorAndTheSavePrompt) {
  struct Case {
    const char* what;
    int profile;
    bool editor, unapplied, yes, applyWrites;
    int setResult;
    const char* log;
    bool result;
  };
  const Case cases[] = {
      {"nothing unapplied", 1, false, false, false, true, 1, "set1,mark1,show1,menu", true},
      {"above 2 is 0", 3, false, false, false, true, 1, "set0,mark0,show0,menu", true},
      {"editor open", 1, true, true, true, true, 1, "refuse", false},
      {"Yes applies before the switch", 2, false, true, true, true, 1, "ask,apply,set2,mark2,show2,menu", true},
      {"Yes that cannot write stays", 2, false, true, true, false, 1, "ask,apply", false},
      {"No reverts, then switches", 2, false, true, false, true, 1, "ask,revert,set2,mark2,show2,menu", true},
      {"keyboard refuses the profile", 1, false, false, false, true, kv::kResultNoResponse, "set1,show1,menu", false},
      {"negative sets nothing", -1, false, false, false, true, 1, "show-1,menu", false},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    host.editor = c.editor;
    host.unapplied = c.unapplied;
    host.answerYes = c.yes;
    host.applyWrites = c.applyWrites;
    host.setResult = c.setResult;
    kv::ProfileSwitcher switcher;
    EXPECT_EQ(switcher.switchProfile(c.profile, host), c.result) << c.what;
    EXPECT_EQ(host.log, c.log) << c.what;
    EXPECT_FALSE(switcher.promptShowing()) << c.what;
  }
}

TEST(ProfileSwitcher, SecondSwitchDuringThePromptSkipsIt) {
  RecordingHost host;
  host.unapplied = true;
  kv::ProfileSwitcher switcher;
  bool inner = false;
  host.duringPrompt = [&] {
    EXPECT_TRUE(switcher.promptShowing());
    inner = switcher.switchProfile(2, host);
    EXPECT_TRUE(switcher.promptShowing()) << "the flag belongs to the first switch's prompt";
  };
  EXPECT_TRUE(switcher.switchProfile(1, host));
  EXPECT_TRUE(inner);
  EXPECT_EQ(host.log, "ask,set2,mark2,show2,menu,revert,set1,mark1,show1,menu");
  EXPECT_FALSE(switcher.promptShowing());
}

// ---- the revert to the profile cache -----------------------------------------------------

using RevertToCache = StoreTest;

TEST_F(RevertToCache, DropsUnappliedEditsForTheLastReadConfiguration) {
  Assign(1, 0x1E, ActionType::SingleKey, 0x30);  // on the keyboard before the read
  {
    std::lock_guard lock(config_.lock);
    ASSERT_TRUE(store_->writeConfigToKeyboard(true));
  }
  store_->reloadFromKeyboard();
  auto read = Entries();
  Assign(1, 0x1F, ActionType::SingleKey, 0x31);
  Assign(0, 0x20, ActionType::SingleKey, 0x32);
  ui_.applyEnabled = true;
  EXPECT_TRUE(store_->revertToCache());
  EXPECT_EQ(Entries(), read);
  EXPECT_FALSE(ui_.applyEnabled);
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(RevertToCache, UnreadableCacheKeepsTheEditsAndSaysSoOutsideTheLock) {
  store_->reloadFromKeyboard();
  WriteAll(Cache(), std::vector<uint8_t>(40000, 0x5A));
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  auto edited = Entries();
  ui_.applyEnabled = true;
  EXPECT_FALSE(store_->revertToCache());
  EXPECT_EQ(Entries(), edited);
  EXPECT_TRUE(ui_.applyEnabled) << "the edits kept must stay to be applied";
  EXPECT_EQ(ui_.messages().size(), 1u) << "the format error, shown once the lock was released";
}

TEST_F(RevertToCache, NoKeyboardLeavesTheConfigurationAlone) {
  Keyboard()->unplug();
  Keyboard()->drain();
  kv::ResetActiveProfileCache();
  Assign(0, 0x1E, ActionType::SingleKey, 0x30);
  auto edited = Entries();
  ui_.applyEnabled = true;
  EXPECT_TRUE(store_->revertToCache());
  EXPECT_EQ(Entries(), edited);
  EXPECT_FALSE(ui_.applyEnabled);
}

// ---- the profile manager's list ------------------------------------------------------------

using ProfileListTest = StoreTest;

TEST_F(ProfileListTest, OnBoardRowsNameTheCacheAndMarkTheActiveProfile) {
  std::u16string folder = (docs_ / "Korvalin").u16string() + u"/";
  for (int active : {-1, 0, 1, 2, 3}) {
    kv::ProfileList list = kv::ProfileList::onBoard(*store_, active);
    ASSERT_EQ(list.rows().size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(list.rows()[i], (kv::ProfileRow{u"$Profile0", folder, i}));
    EXPECT_EQ(list.marked(), active >= 0 && active <= 2 ? active : -1) << active;
  }
}

TEST_F(ProfileListTest, RowsComeAndGoWithTheirMark) {
  kv::ProfileList list = kv::ProfileList::onBoard(*store_, 2);
  list.add("/somewhere/else/notes.txt");  // any file: nothing is read
  EXPECT_EQ(list.rows().back(), (kv::ProfileRow{u"notes", u"/somewhere/else/", -1}));
  EXPECT_FALSE(list.remove(4));
  EXPECT_FALSE(list.remove(-1));
  EXPECT_TRUE(list.remove(0));
  EXPECT_EQ(list.marked(), 1) << "the marked row moved up";
  list.mark(2);
  EXPECT_EQ(list.marked(), 2) << "one mark: the other is cleared";
  EXPECT_EQ(list.profileToActivate(), 0) << "a file row makes profile 0 active";
  list.mark(0);
  EXPECT_EQ(list.profileToActivate(), 1) << "the row of profile 1, now first";
  list.mark(1);
  EXPECT_EQ(list.profileToActivate(), 2);
  EXPECT_TRUE(list.remove(1));
  EXPECT_EQ(list.marked(), -1) << "the mark went with its row";
  EXPECT_EQ(list.profileToActivate(), std::nullopt);
  list.mark(7);
  EXPECT_EQ(list.marked(), -1);
}

TEST_F(ProfileListTest, SettingsEntriesNumberTheRowsAndCountThem) {
  kv::ProfileList list = kv::ProfileList::onBoard(*store_, 0);
  list.add("/x/mine.kvp");
  std::u16string cache = (docs_ / "Korvalin").u16string() + u"/$Profile0.kvp";
  const std::vector<std::pair<std::u16string, std::u16string>> four = {
      {u"PROFILE01", cache}, {u"PROFILE02", cache}, {u"PROFILE03", cache}, {u"PROFILE04", u"/x/mine.kvp"},
      {u"PROFILE00", u"4"}};
  EXPECT_EQ(list.settingsEntries(), four);
  while (list.remove(0)) {
  }
  EXPECT_EQ(list.settingsEntries(), (std::vector<std::pair<std::u16string, std::u16string>>{{u"PROFILE00", u"0"}}));
  EXPECT_EQ(list.profileToActivate(), std::nullopt) << "no rows: no profile changes";
}

}  // namespace
}  // namespace kvtest
