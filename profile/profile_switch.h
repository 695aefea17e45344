// Profile switching, the portable part: what the profile buttons and the
// profiles button show for the keyboard's active profile. Later issues add
// the switch itself and the profile manager's list here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv {

class ProfileStore;

inline constexpr int kOnBoardProfiles = 3;

// The profile button shown selected after the keyboard was read: its active
// profile, or none (the buttons stay as they are) when no keyboard answers
// (-1) or the answer is no on-board profile.
[[nodiscard]] std::optional<int> shownProfile(int activeProfile);

// The profiles button's text: the file name (without extension) of the active
// profile's cache file, or defaultName when the keyboard gave no profile.
[[nodiscard]] std::u16string profilesButtonText(const ProfileStore& store, int activeProfile,
                                                std::u16string_view defaultName);

}  // namespace kv
