#include "platform/no_dumps.h"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// In a child, so that the test process itself stays dumpable.
TEST(NoDumps, TheProcessIsNotDumpableAndWritesNoCore)
{
    pid_t pid = fork();
    if (pid == 0) {
        rlimit core{};
        const bool forbidden = nodumps::forbid_dumps();
        const bool ok = forbidden && prctl(PR_GET_DUMPABLE) == 0 && getrlimit(RLIMIT_CORE, &core) == 0 &&
                        core.rlim_cur == 0 && core.rlim_max == 0;
        _exit(ok ? 0 : 1);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
