#include "platform/cp932.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace cp932 {

namespace {

// Opening a converter sets up its tables, which costs more than converting a
// name: each thread keeps one converter per direction, opened on first use
// and closed when the thread ends. A conversion after that (a handler run at
// exit, when the thread's objects are gone) opens it again and leaves it open.
enum Direction {
    Utf8FromCp932,
    Cp932FromUtf8,
    Utf16FromCp932,
    Cp932FromUtf16,
    Utf8FromUtf16,
    Utf16FromUtf8,
    kDirections
};
const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);
thread_local iconv_t t_converters[kDirections] = {}; // null: not opened

struct CloseAtThreadEnd
{
    ~CloseAtThreadEnd()
    {
        for (iconv_t& cd : t_converters) {
            if (cd && cd != kClosed)
                iconv_close(cd);
            cd = nullptr;
        }
    }
};

// The thread's converter for one direction; kClosed when iconv has none.
iconv_t converter(Direction direction, const char* to, const char* from)
{
    thread_local CloseAtThreadEnd closer;
    iconv_t& cd = t_converters[direction];
    if (!cd)
        cd = iconv_open(to, from);
    return cd;
}

// One whole conversion through iconv; false on any byte sequence that the
// target cannot hold, so text is never silently changed.
bool convert(iconv_t cd, std::string_view in, std::string& out)
{
    if (cd == kClosed)
        return false;
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

// Every single byte and every lead and trail byte pair, as iconv converts
// it; kInvalid where iconv refuses. CP932 keeps no state between characters,
// so a text converts as its characters do one by one.
constexpr char16_t kInvalid = 0xFFFF; // a noncharacter: nothing converts to it
struct DecodeTable
{
    char16_t single[256];
    std::unique_ptr<char16_t[]> pair{new char16_t[65536]}; // lead << 8 | trail

    DecodeTable();
};

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

bool to_utf8(std::string_view text, std::string& out)
{
    return convert(converter(Utf8FromCp932, "UTF-8", "CP932"), text, out);
}

DecodeTable::DecodeTable()
{
    std::string utf16;
    auto unit_of = [&utf16](std::string_view bytes) {
        if (!to_utf16le(bytes, utf16) || utf16.size() != 2)
            return kInvalid;
        return static_cast<char16_t>(static_cast<unsigned char>(utf16[0]) | static_cast<unsigned char>(utf16[1]) << 8);
    };
    for (int byte = 0; byte < 256; ++byte) {
        const char one = static_cast<char>(byte);
        single[byte] = is_lead_byte(static_cast<unsigned char>(byte)) ? kInvalid : unit_of(std::string_view(&one, 1));
    }
    std::fill(pair.get(), pair.get() + 65536, kInvalid);
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!is_lead_byte(static_cast<unsigned char>(lead)))
            continue;
        for (int trail = 0; trail < 256; ++trail) {
            const char two[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            pair[lead << 8 | trail] = unit_of(std::string_view(two, 2));
        }
    }
}

std::size_t to_utf16(std::string_view text, char16_t* out)
{
    static const DecodeTable table;
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char16_t unit;
        if (byte < 0x80) { // CP932 keeps ASCII as it is
            out[units++] = byte;
            ++i;
            continue;
        }
        if (is_lead_byte(byte)) {
            if (i + 1 == text.size())
                return std::string_view::npos;
            unit = table.pair[byte << 8 | static_cast<unsigned char>(text[i + 1])];
            i += 2;
        } else {
            unit = table.single[byte];
            ++i;
        }
        if (unit == kInvalid)
            return std::string_view::npos;
        out[units++] = unit;
    }
    return units;
}

bool from_utf8(std::string_view utf8, std::string& out)
{
    return convert(converter(Cp932FromUtf8, "CP932", "UTF-8"), utf8, out);
}

bool representable(std::string_view utf8)
{
    std::string ignored;
    return from_utf8(utf8, ignored);
}

bool to_utf16le(std::string_view text, std::string& out)
{
    return convert(converter(Utf16FromCp932, "UTF-16LE", "CP932"), text, out);
}

bool from_utf16le(std::string_view utf16, std::string& out)
{
    return utf16.size() % 2 == 0 && convert(converter(Cp932FromUtf16, "CP932", "UTF-16LE"), utf16, out);
}

bool utf16le_to_utf8(std::string_view utf16, std::string& out)
{
    return utf16.size() % 2 == 0 && convert(converter(Utf8FromUtf16, "UTF-8", "UTF-16LE"), utf16, out);
}

bool utf8_to_utf16le(std::string_view utf8, std::string& out)
{
    return convert(converter(Utf16FromUtf8, "UTF-16LE", "UTF-8"), utf8, out);
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
    // Not blocking on a planted FIFO or device; the link itself is never followed.
    int fd = open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return nullptr;
    // Only a file of ours: another user's file, or one that others may write,
    // would hand the text to them.
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & S_IWOTH) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    FILE* file = fdopen(fd, mode);
    if (!file)
        close(fd);
    return file;
}

} // namespace cp932
