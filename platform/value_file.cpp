#include "platform/value_file.h"

#include "platform/registry.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace reg::detail {
namespace {

constexpr char kMagic[4] = {'K', 'R', 'E', 'G'};

void put_u32(unsigned char* out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint32_t get_u32(const unsigned char* in)
{
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

} // namespace

std::string value_header(uint32_t type, uint32_t size)
{
    unsigned char header[kValueHeaderSize];
    std::memcpy(header, kMagic, 4);
    put_u32(header + 4, type);
    put_u32(header + 8, size);
    return std::string(reinterpret_cast<const char*>(header), sizeof header);
}

bool load_value(const std::string& path, uint32_t& type, std::string& data, std::optional<struct stat>* seen)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    if (ok && seen)
        *seen = st;
    ok = ok && S_ISREG(st.st_mode) && st.st_size >= off_t(kValueHeaderSize) &&
         st.st_size <= off_t(kValueHeaderSize + kMaxValueSize);
    std::string bytes;
    if (ok) {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        ok = got == bytes.size();
    }
    close(fd);
    if (!ok || std::memcmp(bytes.data(), kMagic, 4) != 0)
        return false;
    auto* raw = reinterpret_cast<const unsigned char*>(bytes.data());
    uint32_t length = get_u32(raw + 8);
    if (length > kMaxValueSize || bytes.size() != kValueHeaderSize + length)
        return false;
    type = get_u32(raw + 4);
    data = bytes.substr(kValueHeaderSize);
    return true;
}

} // namespace reg::detail
