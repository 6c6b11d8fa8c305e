// Keeps secrets out of crash dumps: a process that holds a password or record
// texts calls this first thing, before it loads anything.
#pragma once

namespace nodumps {

// No core file (core size limit 0) and no dumpable process: other processes
// of the same user can neither attach to it nor read its memory. False when
// either step failed.
bool forbid_dumps();

} // namespace nodumps
