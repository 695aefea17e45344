#include "profile/profile_switch.h"

#include <cstdio>

#include "device/protocol.h"
#include "profile/profile_store.h"

namespace kv {

std::optional<int> shownProfile(int activeProfile) {
  if (activeProfile < 0 || activeProfile >= kOnBoardProfiles) return std::nullopt;
  return activeProfile;
}

ProfileMenu profileMenu(const ProfileStore& store, int activeProfile, std::u16string_view defaultName) {
  ProfileMenu menu;
  menu.items.push_back({kMenuDefaultProfile, std::u16string(defaultName)});
  menu.items.push_back({0, u""});
  for (int i = 0; i < kOnBoardProfiles; ++i)
    menu.items.push_back({kMenuFirstProfile + i, store.profileCachePath(i).stem().u16string()});
  std::optional<int> shown = shownProfile(activeProfile);
  menu.marked = shown ? *shown + 2 : 0;
  return menu;
}

std::u16string profilesButtonText(const ProfileStore& store, int activeProfile, std::u16string_view defaultName) {
  return profileMenu(store, activeProfile, defaultName).markedText();
}

bool ProfileSwitcher::switchProfile(int profile, ProfileSwitchHost& host) {
  profile = switchTarget(profile);
  if (host.editorOpen()) {
    host.refuseWhileEditorOpen();
    return false;
  }
  if (host.unappliedChanges()) {
    // A switch asked for while the prompt of another is showing goes
    // straight through; the flag stays with the switch that set it.
    if (!promptShowing_) {
      promptShowing_ = true;
      bool save = host.askSaveChanges();
      promptShowing_ = false;
      if (save) {
        // The edits belong to the profile being left: if they could not be
        // written, leaving it would strand them.
        if (!host.applyAndWait()) return false;
      } else {
        host.revertToCache();
      }
    }
  }
  int result = profile >= 0 ? host.setActiveProfile(profile) : kResultBadProfile;
  if (result == kResultSuccess) host.markManagerRow(profile);
  host.showActiveProfile(profile);
  host.buildProfileMenu();
  return result == kResultSuccess;
}

ProfileRow profileRowOf(const std::filesystem::path& path, int profile) {
  std::u16string folder = path.parent_path().u16string();
  if (!folder.empty() && folder.back() != u'/' && folder.back() != u'\\')
    folder += static_cast<char16_t>(std::filesystem::path::preferred_separator);
  return {path.stem().u16string(), folder, profile};
}

ProfileList ProfileList::onBoard(const ProfileStore& store, int activeProfile) {
  ProfileList list;
  for (int i = 0; i < kOnBoardProfiles; ++i) list.rows_.push_back(profileRowOf(store.profileCachePath(i), i));
  list.mark(shownProfile(activeProfile).value_or(-1));
  return list;
}

void ProfileList::add(const std::filesystem::path& path) { rows_.push_back(profileRowOf(path)); }

bool ProfileList::remove(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
  rows_.erase(rows_.begin() + row);
  if (marked_ == row)
    marked_ = -1;
  else if (marked_ > row)
    --marked_;
  return true;
}

void ProfileList::mark(int row) { marked_ = row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1; }

std::vector<std::pair<std::u16string, std::u16string>> ProfileList::settingsEntries() const {
  auto key = [](size_t n) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%02zu", n);
    std::u16string k = u"PROFILE";
    for (const char* c = digits; *c; ++c) k += static_cast<char16_t>(*c);
    return k;
  };
  std::vector<std::pair<std::u16string, std::u16string>> entries;
  for (size_t r = 0; r < rows_.size(); ++r) entries.emplace_back(key(r + 1), rows_[r].folder + rows_[r].name + u".kvp");
  std::u16string count;
  for (char c : std::to_string(rows_.size())) count += static_cast<char16_t>(c);
  entries.emplace_back(key(0), count);
  return entries;
}

std::optional<int> ProfileList::profileToActivate() const {
  if (marked_ < 0) return std::nullopt;
  int profile = rows_[static_cast<size_t>(marked_)].profile;
  return profile >= 0 ? profile : 0;
}

}  // namespace kv
