#include "profile/profile_switch.h"

#include "profile/profile_store.h"

namespace kv {

std::optional<int> shownProfile(int activeProfile) {
  if (activeProfile < 0 || activeProfile >= kOnBoardProfiles) return std::nullopt;
  return activeProfile;
}

std::u16string profilesButtonText(const ProfileStore& store, int activeProfile, std::u16string_view defaultName) {
  if (!shownProfile(activeProfile)) return std::u16string(defaultName);
  return store.profileCachePath(activeProfile).stem().u16string();
}

}  // namespace kv
