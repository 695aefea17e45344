// Forwarding: moved to base/wide_win32.h. Kept only until the end-to-end and screenshot
// tests include the new path; new code includes that one.
#pragma once

#include "base/wide_win32.h"
