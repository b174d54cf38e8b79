// The path rules of the host the tool was built for.
#pragma once

#include "archive/path_rules.h"

#ifdef _WIN32
inline constexpr PathRules kHostRules = kWindowsRules;
#else
inline constexpr PathRules kHostRules = kLinuxRules;
#endif
