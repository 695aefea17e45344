// Moving a selection over the keyboard picture from the keyboard: the
// neighbouring button in a direction, and the ends of a button's row, found
// from where the buttons are drawn.
#pragma once

#include <span>

namespace kv {

// A button of the picture and its rectangle (right and bottom outside it).
struct NavButton {
  int id = 0;
  int left = 0, top = 0, right = 0, bottom = 0;
};

enum class NavMove { kLeft, kRight, kUp, kDown, kRowStart, kRowEnd };

// The button the selection moves to from the button fromId; 0 when there is
// none that way (the selection stays) or fromId is not among the buttons.
// Left and right stay in the row (the buttons whose vertical centre lies
// within the button's height); up and down go to the nearest row above or
// below among the buttons overlapping this one across, and take the nearest
// centre there; the row's start and end are the ends of the block of
// touching buttons this one is in.
int neighbourButton(std::span<const NavButton> buttons, int fromId, NavMove move);

}  // namespace kv
