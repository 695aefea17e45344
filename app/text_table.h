// Forwarding: moved to base/text_table.h. Kept only until the end-to-end and screenshot
// tests include the new path; new code includes that one.
#pragma once

#include "base/text_table.h"
