#include "platform/cp932.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

namespace cp932 {

namespace {

// Opening a converter sets up its tables, which costs more than converting a
// name: each thread keeps one converter per direction.
class Converter
{
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (isOpen())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool isOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// One whole conversion through iconv; false on any byte sequence that the
// target cannot hold, so text is never silently changed.
bool convert(const Converter& converter, std::string_view in, std::string& out)
{
    if (!converter.isOpen())
        return false;
    iconv_t cd = converter.get();
    iconv(cd, nullptr, nullptr, nullptr, nullptr); // a failed conversion may have left a shift state
    out.clear();
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char chunk[1024];
    bool ok = true;
    for (;;) {
        char* dst = chunk;
        size_t dstLeft = sizeof chunk;
        size_t rc = srcLeft ? iconv(cd, &src, &srcLeft, &dst, &dstLeft) : iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(chunk, static_cast<size_t>(dst - chunk));
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            ok = false;
            break;
        }
        // glibc counts irreversible substitutions in rc; none are accepted.
        if (rc != 0) {
            ok = false;
            break;
        }
        if (srcLeft == 0 && src != nullptr) {
            src = nullptr; // one more round to flush the shift state
            continue;
        }
        break;
    }
    return ok;
}

int open_flags(const char* mode)
{
    int flags = 0;
    switch (mode[0]) {
    case 'r':
        flags = 0;
        break;
    case 'w':
        flags = O_CREAT | O_TRUNC;
        break;
    case 'a':
        flags = O_CREAT | O_APPEND;
        break;
    default:
        return -1;
    }
    bool update = std::strchr(mode + 1, '+') != nullptr;
    if (update)
        flags |= O_RDWR;
    else
        flags |= mode[0] == 'r' ? O_RDONLY : O_WRONLY;
    if (std::strchr(mode + 1, 'x'))
        flags |= O_EXCL;
    return flags | O_CLOEXEC;
}

} // namespace

bool is_lead_byte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool to_utf8(std::string_view text, std::string& out)
{
    thread_local const Converter converter("UTF-8", "CP932");
    return convert(converter, text, out);
}

bool from_utf8(std::string_view utf8, std::string& out)
{
    thread_local const Converter converter("CP932", "UTF-8");
    return convert(converter, utf8, out);
}

bool representable(std::string_view utf8)
{
    std::string ignored;
    return from_utf8(utf8, ignored);
}

bool to_utf16le(std::string_view text, std::string& out)
{
    thread_local const Converter converter("UTF-16LE", "CP932");
    return convert(converter, text, out);
}

bool from_utf16le(std::string_view utf16, std::string& out)
{
    thread_local const Converter converter("CP932", "UTF-16LE");
    return utf16.size() % 2 == 0 && convert(converter, utf16, out);
}

bool utf16le_to_utf8(std::string_view utf16, std::string& out)
{
    thread_local const Converter converter("UTF-8", "UTF-16LE");
    return utf16.size() % 2 == 0 && convert(converter, utf16, out);
}

bool utf8_to_utf16le(std::string_view utf8, std::string& out)
{
    thread_local const Converter converter("UTF-16LE", "UTF-8");
    return convert(converter, utf8, out);
}

bool is_utf8(std::string_view bytes)
{
    std::string ignored;
    return utf8_to_utf16le(bytes, ignored);
}

std::size_t cut_length(const char* text, std::size_t max_bytes)
{
    std::size_t i = 0;
    while (i < max_bytes && text[i] != '\0') {
        if (is_lead_byte(static_cast<unsigned char>(text[i]))) {
            if (i + 2 > max_bytes || text[i + 1] == '\0')
                break;
            i += 2;
        } else {
            ++i;
        }
    }
    return i;
}

std::size_t copy_cut(char* dst, std::size_t dst_size, const char* src)
{
    // Text that fits is copied as it is, also a lead byte just before its end:
    // stored bytes must come back unchanged. Only longer text is cut.
    std::size_t n = strnlen(src, dst_size);
    if (n >= dst_size)
        n = cut_length(src, dst_size - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return n;
}

bool native_path(const char* cp932_path, std::string& out)
{
    return to_utf8(cp932_path, out);
}

FILE* fopen_path(const char* cp932_path, const char* mode)
{
    std::string path;
    int flags = open_flags(mode);
    if (flags < 0 || !native_path(cp932_path, path) || path.empty())
        return nullptr;
    int fd = open(path.c_str(), flags, 0600);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, mode);
    if (!file)
        close(fd);
    return file;
}

} // namespace cp932
