#include "tools/data/password_input.h"

#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace kdata {

std::string read_password(const tools::Call& call, const char* prompt)
{
    std::string password;
    const bool terminal = &call.in == &std::cin && isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        call.err << prompt << std::flush;
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::getline(call.in, password);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        call.err << '\n';
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return password;
}

} // namespace kdata
