// What the profile buttons and the profiles button show for the keyboard's
// active profile.
#include "profile/profile_switch.h"

#include "tests/profile/store_fixture.h"

namespace kvtest {
namespace {

TEST(ProfileSwitch, OnlyAnOnBoardProfileIsShownSelected) {
  const std::pair<int, std::optional<int>> cases[] = {
      {-1, std::nullopt}, {0, 0}, {1, 1}, {2, 2}, {3, std::nullopt}, {255, std::nullopt}, {-201, std::nullopt}};
  for (auto [active, shown] : cases) EXPECT_EQ(kv::shownProfile(active), shown) << active;
}

using ProfilesButton = StoreTest;

TEST_F(ProfilesButton, NamesTheActiveProfilesCacheFileOrTheDefault) {
  for (int p = 0; p < kv::kOnBoardProfiles; ++p)
    EXPECT_EQ(kv::profilesButtonText(*store_, p, u"<Default>"), u"$Profile0");  // one cache file for all three
  for (int active : {-1, 3}) EXPECT_EQ(kv::profilesButtonText(*store_, active, u"<Default>"), u"<Default>");
}

}  // namespace
}  // namespace kvtest
