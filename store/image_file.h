// A new image of a file, built completely before it takes the file's place:
// until commit() succeeds, the old file stays as it was.
//
// The image is written next to the file and renamed over it. Where that
// would not keep the file as it is (its folder cannot be written, it has
// other hard links, or another owner), the image is built in kestrel's state
// folder instead and copied over the file in place under the journal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

class ImageFile
{
public:
    ImageFile() = default;
    ~ImageFile(); // removes the image unless it was committed
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Creates the image for `target` (a native path; a symbolic link is
    // followed to the file it names). `old` is the target's present state,
    // null for a new file. The image gets `mode`.
    bool create(const std::string& target, const struct stat* old, mode_t mode);
    // Buffered: the bytes reach the image in large steps.
    bool write(const void* data, size_t size);
    // Appends `length` bytes of file `fd` from `offset`, copied by the kernel.
    bool copyFrom(int fd, off_t offset, int64_t length);
    // Syncs the image and puts it in the target's place.
    bool commit();

private:
    bool flush();

    std::string m_target;
    std::string m_tempPath;
    int m_fd = -1;
    bool m_inPlace = false;
    mode_t m_mode = 0600;
    int64_t m_size = 0;
    std::vector<char> m_buffer;
};

// The file that `path` finally names after following symbolic links (a link
// to a missing file gives that missing file's path).
std::string resolve_links(const std::string& path);
