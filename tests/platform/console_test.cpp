#include "platform/console.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Waits (without a deadline of its own: ctest's time-out guards the test)
// until the terminal behind master is in raw mode.
void waitForRawMode(int master)
{
    for (;;) {
        termios t{};
        if (tcgetattr(master, &t) == 0 && !(t.c_lflag & ICANON))
            return;
        usleep(1000);
    }
}

bool readAll(int fd, void* data, size_t size)
{
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = read(fd, p, size);
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

// The child reads keys from its controlling terminal, a pseudo-terminal whose
// other side this test types into, and reports each key and at the end
// whether the terminal settings are back as they were.
TEST(Console, ReadsRawKeysFromTheTerminalAndRestoresIt)
{
    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    int report[2];
    ASSERT_EQ(pipe(report), 0);

    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(master);
        close(report[0]);
        setsid();
        if (ioctl(slave, TIOCSCTTY, 0) != 0)
            _exit(2);
        termios before{};
        tcgetattr(slave, &before);
        for (int i = 0; i < 4; ++i) {
            int key = console::read_key();
            if (write(report[1], &key, sizeof key) != sizeof key)
                _exit(3);
        }
        termios after{};
        tcgetattr(slave, &after);
        int same = before.c_lflag == after.c_lflag && before.c_iflag == after.c_iflag &&
                   std::memcmp(before.c_cc, after.c_cc, sizeof before.c_cc) == 0;
        if (write(report[1], &same, sizeof same) != sizeof same)
            _exit(3);
        _exit(0);
    }
    close(slave);
    close(report[1]);

    const unsigned char typed[] = {'a', '\r', 0x03, 0xE9};
    const int expected[] = {'a', 13, 3, 0xE9};
    for (int i = 0; i < 4; ++i) {
        waitForRawMode(master);
        ASSERT_EQ(write(master, &typed[i], 1), 1);
        int key = -2;
        ASSERT_TRUE(readAll(report[0], &key, sizeof key));
        EXPECT_EQ(key, expected[i]) << "key " << i;
    }
    int same = 0;
    ASSERT_TRUE(readAll(report[0], &same, sizeof same));
    EXPECT_EQ(same, 1);

    // Nothing was echoed back to the terminal.
    int pending = -1;
    ASSERT_EQ(ioctl(master, FIONREAD, &pending), 0);
    EXPECT_EQ(pending, 0);

    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(master);
    close(report[0]);
}

TEST(Console, NoTerminalGivesMinusOne)
{
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setsid(); // no controlling terminal any more
        _exit(console::read_key() == -1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
