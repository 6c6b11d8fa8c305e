#include "platform/sockets.h"
#include "test_env.h"

#include <gtest/gtest.h>

// Each case runs in a temporary folder of its own with the registry pointed into it.
using Sockets = TempDirTest;

TEST_F(Sockets, OnlyVersionOneOneStartsAndEachStartIsReleasedOnce)
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
}
