#include "platform/restart.h"
#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <string>

TEST(Sockets, OnlyVersionOneOneStarts)
{
    EXPECT_EQ(sockets::cleanup(), -1); // nothing started yet
    EXPECT_EQ(sockets::startup(2, 2), -1);
    EXPECT_EQ(sockets::startup(1, 0), -1);
    EXPECT_EQ(sockets::startup(1, 1), 0);
    EXPECT_EQ(sockets::cleanup(), 0);
    EXPECT_EQ(sockets::cleanup(), -1);

    sockets::set_fail_startup(true);
    EXPECT_EQ(sockets::startup(1, 1), -1);
    sockets::set_fail_startup(false);
    EXPECT_EQ(sockets::startup(1, 1), 0);
    EXPECT_EQ(sockets::cleanup(), 0);
}

namespace {

struct Request
{
    int calls = 0;
    restart::Kind kind = restart::Kind::Immediate;
    std::string message;
    int seconds = -1;
} g_request;

int recordRequest(restart::Kind kind, const char* message, int seconds)
{
    ++g_request.calls;
    g_request.kind = kind;
    g_request.message = message ? message : "<null>";
    g_request.seconds = seconds;
    return -1;
}

} // namespace

TEST(Restart, EveryRequestGoesThroughTheHook)
{
    restart::set_hook(recordRequest);
    EXPECT_EQ(restart::request(restart::Kind::Countdown, "bye", 20), -1);
    EXPECT_EQ(g_request.calls, 1);
    EXPECT_EQ(g_request.kind, restart::Kind::Countdown);
    EXPECT_EQ(g_request.message, "bye");
    EXPECT_EQ(g_request.seconds, 20);
    EXPECT_EQ(restart::request(restart::Kind::Immediate, nullptr, 0), -1);
    EXPECT_EQ(g_request.calls, 2);
    EXPECT_EQ(g_request.kind, restart::Kind::Immediate);
    restart::set_hook(nullptr);
}
