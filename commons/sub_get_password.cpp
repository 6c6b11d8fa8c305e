// Console password prompt: keys without echo, one "*" per key, Enter ends.

#include "commons/commons.h"

#include "platform/console.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kEnter = 13;
constexpr int kCtrlC = 3;
constexpr size_t kEntrySize = 1024; // up to 1023 keys and Enter

// Clears the typed keys from memory whichever way the prompt ends.
class EntryBuffer
{
public:
    ~EntryBuffer() { explicit_bzero(m_keys, sizeof m_keys); }
    char* data() { return m_keys; }

private:
    char m_keys[kEntrySize] = {};
};

} // namespace

extern "C" int sub_get_password(const char* prompt, char* output, unsigned capacity)
{
    if (output && capacity > 0)
        std::memset(output, 0, capacity);
    std::printf("%s ", prompt ? prompt : "");
    std::fflush(stdout);

    EntryBuffer entry;
    size_t count = 0;
    for (;;) {
        int key = console::read_key();
        if (key == kCtrlC || key < 0)
            return -1;
        if (count == kEntrySize - 1 && key != kEnter) {
            // The entry buffer is full: end the entry rather than write past it.
            std::printf("\n");
            std::fflush(stdout);
            return -1;
        }
        entry.data()[count++] = static_cast<char>(key);
        std::printf("*");
        std::fflush(stdout);
        if (key == kEnter)
            break;
    }
    std::printf("\n");
    std::fflush(stdout);
    size_t length = count - 1;
    entry.data()[length] = '\0';
    if (!output || length >= capacity)
        return -1;
    std::memcpy(output, entry.data(), length + 1);
    return 0;
}
