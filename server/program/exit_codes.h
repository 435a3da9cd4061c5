// The exit codes of alloc-server (listed with their meaning in server/main.cpp's header
// and docs/server-program.md).
#pragma once

namespace srv {

inline constexpr int kExitBadCommandLine = 2;
inline constexpr int kExitDatabase = 3;
inline constexpr int kExitListen = 4;
inline constexpr int kExitDamaged = 5;
inline constexpr int kExitFolderInUse = 6;
inline constexpr int kExitCutOff = 7;
inline constexpr int kExitSchemaTooNew = 8;

}  // namespace srv
