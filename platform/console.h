// Console keys for password prompts: one key at a time from the controlling
// terminal, without echo and without line editing.
#pragma once

namespace console {

// Reads one key code from the controlling terminal in raw mode: Enter arrives
// as 13, Ctrl+C as 3, every other byte as itself (0-255). The terminal's
// settings are restored before it returns. -1 when there is no terminal or
// the read fails.
int read_key();

// Replaces the key source (tests); null restores the terminal.
using KeySource = int (*)();
void set_key_source(KeySource source);

} // namespace console
