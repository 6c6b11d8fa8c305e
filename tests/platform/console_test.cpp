#include "platform/console.h"
#include "test_env.h"

#include "child_process.h"

#include <cstdio>

// Each case runs in a temporary folder of its own with the registry pointed into it.
using Console = TempDirTest;

// The child reads four keys from its terminal, printing a dot after each so
// that the next is typed only then; nothing else may reach the terminal.
TEST_F(Console, ReadsRawKeysFromTheTerminalAndRestoresIt)
{
    TerminalRun run = runOnTerminal(
        [] {
            std::string keys;
            for (int i = 0; i < 4; ++i) {
                keys += std::to_string(console::read_key()) + " ";
                std::fputs(".", stdout);
                std::fflush(stdout);
            }
            return keys;
        },
        "a\r\x03\xE9");
    EXPECT_EQ(run.result, "97 13 3 233 ");
    EXPECT_EQ(run.printed, "....");
}

TEST_F(Console, NoTerminalGivesMinusOne)
{
    inChild([] {
        setsid(); // no controlling terminal any more
        return console::read_key() == -1;
    });
}
