// The operating system the program is built for: the layers above choose
// their host's rules by it, without a preprocessor test of their own.
#pragma once

enum class HostSystem { kWindows, kLinux };

#ifdef _WIN32
inline constexpr HostSystem kHostSystem = HostSystem::kWindows;
#else
inline constexpr HostSystem kHostSystem = HostSystem::kLinux;
#endif
