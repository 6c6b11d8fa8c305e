// Stand-in for the Windows sockets layer's start-up and release. Linux needs
// neither; the version check is kept so callers behave as they always did.
#pragma once

namespace sockets {

// Starts the layer asking for version major.minor; only 1.1 is granted.
// 0 on success, -1 on failure.
int startup(int major, int minor);
// Releases what startup took. 0 on success.
int cleanup();

// Tests make startup fail with set_fail_startup(true).
void set_fail_startup(bool fail);

} // namespace sockets
