// Internals of libcommons.so shared by its units (and reachable from tests
// through the static build of the same sources). Not exported.
#pragma once

namespace commons {

// The shared key under HKEY_LOCAL_MACHINE.
inline constexpr const char* kSharedKey = "SOFTWARE\\qelt_key_yoyaku";

// Reads a log setting from the shared key into a zeroed buffer; never logs.
// 0 when read, -1 otherwise.
int read_log_setting(const char* value_name, char* buffer, unsigned capacity);

// What the library does when it is loaded: starts the sockets layer, and on
// failure prints message 101 to standard error and ends the process with
// status 1 (a Linux library cannot refuse to load).
void library_load();
// What the library does when it is unloaded: releases the sockets layer.
void library_unload();

// Message 101 of the library, as shown on a UTF-8 terminal.
inline constexpr const char* kMessage101 = "Windows ｿｹｯﾄの初期化に失敗しました。";

} // namespace commons
