// Keeps record texts and passwords out of core files and other processes.
#pragma once

namespace kdata {

// Makes the process undumpable (no core file, no ptrace or /proc/PID/mem
// for other processes of the user) and sets the core size limit to 0. Call
// first thing in main().
void disable_core_dumps();

} // namespace kdata
