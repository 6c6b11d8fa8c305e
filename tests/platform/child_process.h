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

// A child with a pseudo-terminal: the test types keys into the other side one
// at a time, each once the child reads the terminal in raw mode.
class PtyChild
{
public:
    // body's result comes back through finish(). The child also fails when
    // the terminal's settings are not as before once body returns.
    explicit PtyChild(const std::function<std::string()>& body)
    {
        int slave = -1;
        int report[2];
        if (openpty(&m_master, &slave, nullptr, nullptr, nullptr) != 0 || pipe(report) != 0)
            return;
        termios plain{};
        tcgetattr(slave, &plain);
        plain.c_oflag &= ~OPOST; // output arrives as printed, "\n" not turned into CR LF
        tcsetattr(slave, TCSANOW, &plain);
        std::fflush(stdout); // nothing of the test's own output may reach the terminal
        m_pid = fork();
        if (m_pid == 0) {
            close(m_master);
            close(report[0]);
            if (setsid() < 0 || ioctl(slave, TIOCSCTTY, 0) != 0 || dup2(slave, STDOUT_FILENO) < 0)
                _exit(2);
            termios before{};
            tcgetattr(slave, &before);
            std::string result = body();
            termios after{};
            tcgetattr(slave, &after);
            bool same = before.c_lflag == after.c_lflag && before.c_iflag == after.c_iflag &&
                        std::memcmp(before.c_cc, after.c_cc, sizeof before.c_cc) == 0;
            bool sent = write(report[1], result.data(), result.size()) == static_cast<ssize_t>(result.size());
            _exit(same && sent ? 0 : 3);
        }
        close(slave);
        close(report[1]);
        m_report = report[0];
    }

    ~PtyChild()
    {
        if (m_master >= 0)
            close(m_master);
        if (m_report >= 0)
            close(m_report);
    }

    bool started() const { return m_pid > 0; }

    // Reads n bytes of the child's output (fewer once it has ended).
    std::string read(size_t n)
    {
        std::string text;
        char c;
        while (text.size() < n && ::read(m_master, &c, 1) == 1)
            text += c;
        m_output += text;
        return text;
    }

    // Types one key once the child reads in raw mode, and returns the one
    // byte the child prints in answer; -1 when it ends without printing.
    int type(unsigned char key)
    {
        for (termios t{}; tcgetattr(m_master, &t) != 0 || (t.c_lflag & ICANON);)
            usleep(200); // no deadline of its own: ctest's time-out guards the test
        if (write(m_master, &key, 1) != 1)
            return -1;
        std::string answer = read(1);
        return answer.empty() ? -1 : static_cast<unsigned char>(answer[0]);
    }

    // Reads the rest of the output, waits for the child and returns body's result.
    std::string finish()
    {
        read(SIZE_MAX);
        std::string result;
        char c;
        while (::read(m_report, &c, 1) == 1)
            result += c;
        int status = -1;
        EXPECT_EQ(waitpid(m_pid, &status, 0), m_pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
        return result;
    }

    // Everything the child printed so far.
    const std::string& output() const { return m_output; }

private:
    int m_master = -1;
    int m_report = -1;
    pid_t m_pid = -1;
    std::string m_output;
};
