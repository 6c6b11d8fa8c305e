// Test code run in a child process: plainly, or with a pseudo-terminal as its
// controlling terminal and standard output.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

// Runs body (returning true on success) in a child process and waits for it.
template <typename Body> void inChild(Body body)
{
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(body() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

struct TerminalRun
{
    std::string printed; // all the child wrote to its terminal
    std::string result;  // what body returned
};

// Runs body in a child whose controlling terminal and standard output are a
// pseudo-terminal. After the first promptSize bytes printed, types the keys
// one at a time, each once the child reads the terminal in raw mode, and stops
// when the child answers a key with nothing or with a line end. The child
// fails when the terminal's settings differ from before once body returns.
inline TerminalRun runOnTerminal(const std::function<std::string()>& body, const std::string& keys,
                                 size_t promptSize = 0)
{
    TerminalRun run;
    int master = -1;
    int slave = -1;
    int report[2];
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || pipe(report) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return run;
    }
    termios plain{};
    tcgetattr(slave, &plain);
    plain.c_oflag &= ~OPOST; // output arrives as printed, "\n" not turned into CR LF
    tcsetattr(slave, TCSANOW, &plain);
    std::fflush(stdout); // nothing of the test's own output may reach the terminal
    pid_t pid = fork();
    if (pid == 0) {
        termios before{};
        termios after{};
        if (setsid() < 0 || ioctl(slave, TIOCSCTTY, 0) != 0 || dup2(slave, STDOUT_FILENO) < 0 ||
            tcgetattr(slave, &before) != 0)
            _exit(2);
        std::string result = body();
        tcgetattr(slave, &after);
        bool same = before.c_lflag == after.c_lflag && before.c_iflag == after.c_iflag &&
                    std::memcmp(before.c_cc, after.c_cc, sizeof before.c_cc) == 0;
        _exit(same && write(report[1], result.data(), result.size()) == static_cast<ssize_t>(result.size()) ? 0 : 3);
    }
    close(slave);
    close(report[1]);
    auto readByte = [&](int fd, std::string& to) {
        char c;
        return read(fd, &c, 1) == 1 && (to += c, true);
    };
    while (run.printed.size() < promptSize && readByte(master, run.printed)) {
    }
    for (unsigned char key : keys) {
        for (termios t{}; tcgetattr(master, &t) != 0 || (t.c_lflag & ICANON);)
            usleep(200); // no deadline of its own: ctest's time-out guards the test
        if (write(master, &key, 1) != 1 || !readByte(master, run.printed) || run.printed.back() == '\n')
            break;
    }
    while (readByte(master, run.printed)) {
    }
    while (readByte(report[0], run.result)) {
    }
    close(master);
    close(report[0]);
    int status = -1;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return run;
}
