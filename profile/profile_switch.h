// Profile switching, the portable part: what the profile buttons and the
// profiles button show for the keyboard's active profile, the switch with its
// save prompt (the window side is a host of a few operations), and the
// profile manager's list with the settings entries its Apply writes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kv {

class ProfileStore;

inline constexpr int kOnBoardProfiles = 3;

// The profile button shown selected after the keyboard was read: its active
// profile, or none (the buttons stay as they are) when no keyboard answers
// (-1) or the answer is no on-board profile.
[[nodiscard]] std::optional<int> shownProfile(int activeProfile);

// The profile a switch asks for: the keyboard has profiles 0-2 only, so any
// number above 2 is profile 0; a negative one stays negative (nothing is set).
[[nodiscard]] constexpr int switchTarget(int profile) { return profile >= kOnBoardProfiles ? 0 : profile; }

// ---- the profile menu -----------------------------------------------------------------

inline constexpr int kMenuDefaultProfile = 9000;
inline constexpr int kMenuFirstProfile = 9001;  // + on-board profile number

struct ProfileMenuItem {
  int id = 0;  // 0 for the separator
  std::u16string text;
  bool operator==(const ProfileMenuItem&) const = default;
};

// The main window's profile menu: the default item, a separator and one item
// per on-board profile named after its cache file. The marked item is the
// active profile's, or the default item when there is none; the profiles
// button shows its text.
struct ProfileMenu {
  std::vector<ProfileMenuItem> items;
  int marked = 0;  // position in items
  const std::u16string& markedText() const { return items[static_cast<size_t>(marked)].text; }
};
[[nodiscard]] ProfileMenu profileMenu(const ProfileStore& store, int activeProfile, std::u16string_view defaultName);

// The profiles button's text: the marked menu item's.
[[nodiscard]] std::u16string profilesButtonText(const ProfileStore& store, int activeProfile,
                                                std::u16string_view defaultName);

// ---- the switch -------------------------------------------------------------------------

// What a switch needs of the window. Everything runs on the user-interface
// thread; askSaveChanges runs a message loop, in which another switch can
// start.
class ProfileSwitchHost {
 public:
  virtual ~ProfileSwitchHost() = default;
  // The composite editor is open.
  virtual bool editorOpen() = 0;
  // The main window or the profile manager has changes not yet applied.
  virtual bool unappliedChanges() = 0;
  virtual void refuseWhileEditorOpen() = 0;
  // The save prompt; true for Yes. Called with no lock held.
  virtual bool askSaveChanges() = 0;
  // The main window's Apply, returning once it has finished; false when the
  // keyboard was not written.
  virtual bool applyAndWait() = 0;
  // The main window's Apply disabled and the working configuration back to
  // the profile cache (the last read or applied configuration).
  virtual void revertToCache() = 0;
  // Writes the keyboard's active profile; a device result code.
  virtual int setActiveProfile(int profile) = 0;
  // When the profile manager is open: its row of the profile marked and its
  // Apply disabled.
  virtual void markManagerRow(int profile) = 0;
  // The key buttons refreshed for the active profile.
  virtual void showActiveProfile(int profile) = 0;
  // The profile menu rebuilt and the profiles button named again.
  virtual void buildProfileMenu() = 0;
};

class ProfileSwitcher {
 public:
  // Switches the keyboard to the profile; false when the editor is open,
  // the changes could not be applied before the switch, or the keyboard did
  // not take the new profile.
  [[nodiscard]] bool switchProfile(int profile, ProfileSwitchHost& host);
  // True while the save prompt of a switch is showing.
  bool promptShowing() const { return promptShowing_; }

 private:
  bool promptShowing_ = false;
};

// ---- the profile manager's list -----------------------------------------------------------

struct ProfileRow {
  std::u16string name;    // the file name without its extension
  std::u16string folder;  // with a trailing separator
  int profile = -1;       // the on-board profile of the row; -1 for a file row
  bool operator==(const ProfileRow&) const = default;
};
[[nodiscard]] ProfileRow profileRowOf(const std::filesystem::path& path, int profile = -1);

// Rows 0-2 are the on-board profiles, further rows files the user added;
// at most one row carries the mark.
class ProfileList {
 public:
  // The three on-board rows, the active profile's marked (none when the
  // active profile is not known).
  static ProfileList onBoard(const ProfileStore& store, int activeProfile);

  const std::vector<ProfileRow>& rows() const { return rows_; }
  int marked() const { return marked_; }
  void add(const std::filesystem::path& path);
  // False when there is no such row. The mark goes with its row.
  bool remove(int row);
  // Marks one row and clears the others; -1 or a row that is not there
  // clears every mark.
  void mark(int row);

  // The settings entries Apply writes, in order: "PROFILE01" onwards with
  // each row's folder + name + ".kvp", then "PROFILE00" with the row count.
  [[nodiscard]] std::vector<std::pair<std::u16string, std::u16string>> settingsEntries() const;
  // The profile Apply makes active: the marked on-board row's, profile 0
  // for a file row (the keyboard has no other); nullopt when no row is
  // marked. A row keeps its profile when rows above it are deleted.
  [[nodiscard]] std::optional<int> profileToActivate() const;

 private:
  std::vector<ProfileRow> rows_;
  int marked_ = -1;
};

}  // namespace kv
