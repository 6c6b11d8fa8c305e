#include "platform/console.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace console {

namespace {

std::atomic<KeySource> g_source{nullptr};

// Holds the terminal in raw mode for its lifetime and puts the old settings
// back however the read ends.
class RawTerminal
{
public:
    explicit RawTerminal(int fd) : m_fd(fd)
    {
        if (tcgetattr(m_fd, &m_saved) != 0)
            return;
        termios raw = m_saved;
        // No echo, no line editing, Ctrl+C as a key (3), Enter as CR (13).
        raw.c_lflag &= ~(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
        raw.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        m_active = tcsetattr(m_fd, TCSANOW, &raw) == 0;
    }
    ~RawTerminal()
    {
        if (m_active)
            tcsetattr(m_fd, TCSANOW, &m_saved);
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

    bool active() const { return m_active; }

private:
    int m_fd;
    termios m_saved{};
    bool m_active = false;
};

int read_terminal_key()
{
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int key = -1;
    {
        RawTerminal raw(fd);
        if (raw.active()) {
            unsigned char byte = 0;
            ssize_t got;
            do {
                got = read(fd, &byte, 1);
            } while (got < 0 && errno == EINTR);
            if (got == 1)
                key = byte;
        }
    }
    close(fd);
    return key;
}

} // namespace

int read_key()
{
    if (KeySource source = g_source.load())
        return source();
    return read_terminal_key();
}

void set_key_source(KeySource source)
{
    g_source = source;
}

} // namespace console
