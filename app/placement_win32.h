// Forwarding: moved to skin/placement_win32.h. Kept only until the end-to-end and screenshot
// tests include the new path; new code includes that one.
#pragma once

#include "skin/placement_win32.h"
