#include "platform/restart.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/reboot.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace restart {

namespace {

std::atomic<Hook> g_hook{nullptr};

int restart_now()
{
    sync();
    return reboot(RB_AUTOBOOT) == 0 ? 0 : -1;
}

// shutdown(8) counts in whole minutes: a countdown is rounded up to the next
// minute, never shortened.
int restart_after(const char* message, int seconds)
{
    int minutes = seconds <= 0 ? 0 : (seconds + 59) / 60;
    char when[16];
    std::snprintf(when, sizeof when, "+%d", minutes);
    std::string text = message ? message : "";
    char* argv[] = {const_cast<char*>("shutdown"), const_cast<char*>("-r"), when, text.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "shutdown", nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}

} // namespace

int request(Kind kind, const char* message, int seconds)
{
    if (Hook hook = g_hook.load())
        return hook(kind, message, seconds);
    return kind == Kind::Immediate ? restart_now() : restart_after(message, seconds);
}

void set_hook(Hook hook)
{
    g_hook = hook;
}

} // namespace restart
