// Machine restart requests, the Linux way. Every request goes through a
// replaceable hook, so that tests never reach the real restart.
#pragma once

namespace restart {

enum class Kind {
    Immediate, // forced restart now (sync, then the reboot system call)
    Countdown, // restart after a countdown, telling the users a message
};

// Performs (or, with a hook installed, hands to the hook) a restart request.
// message and seconds matter only for Countdown. Returns 0 when the request
// was made, -1 otherwise.
int request(Kind kind, const char* message, int seconds);

using Hook = int (*)(Kind kind, const char* message, int seconds);
// Installs a hook in place of the real restart; null restores the real one.
void set_hook(Hook hook);

} // namespace restart
