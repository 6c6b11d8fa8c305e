// A new image of a file, written next to it and put in its place in one
// rename: until commit() succeeds, the old file stays as it was.
#pragma once

#include <cstddef>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

// write(2) as the image uses it; tests replace it to simulate a full disk.
using ImageWriteFn = ssize_t (*)(int fd, const void* buffer, size_t size);
void set_image_write_hook(ImageWriteFn hook); // nullptr restores write(2)

class ImageFile
{
public:
    ImageFile() = default;
    ~ImageFile(); // removes the temporary file unless it was committed
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Creates the temporary file in the folder of `target` (a native path; a
    // symbolic link is followed to the file it names). `old` gives the
    // permissions to keep, null for a new file (0600).
    bool create(const std::string& target, const struct stat* old);
    // Buffered: the bytes reach the file in steps of a few blocks.
    bool write(const void* data, size_t size);
    // Flushes the image to disk, renames it over the target and syncs the folder.
    bool commit();

private:
    bool flush();

    std::string m_target;
    std::string m_tempPath;
    int m_fd = -1;
    std::vector<char> m_buffer;
};

// The file that `path` finally names after following symbolic links (a link
// to a missing file gives that missing file's path).
std::string resolve_links(const std::string& path);
