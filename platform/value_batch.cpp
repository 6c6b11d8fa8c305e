#include "platform/key_walk.h"
#include "platform/registry.h"
#include "platform/registry_names.h"
#include "platform/value_file.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace reg {

using namespace detail;

namespace {

// A batch is synced and renamed into place after this many values or bytes.
constexpr size_t kBatchValues = 16384;
constexpr size_t kBatchBytes = 64 * 1024 * 1024;

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool write_all(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void sync_folder(const std::string& folder)
{
    if (const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

struct ValueBatch::State
{
    struct Pending
    {
        std::string temp;
        std::string target;
    };
    std::vector<Pending> pending;
    size_t bytes = 0;
    std::set<std::string> folders;
    // The value files of one key's folder: lower-case name -> name on disk.
    std::string indexed;
    std::unordered_map<std::string, std::string> index;

    void index_folder(const std::string& folder)
    {
        if (folder == indexed)
            return;
        index.clear();
        indexed = folder;
        DIR* dir = opendir(folder.c_str());
        if (!dir)
            return;
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '=')
                continue;
            if (entry->d_type != DT_REG && (entry->d_type != DT_UNKNOWN || !is_file(folder + "/" + entry->d_name)))
                continue;
            index.emplace(lower(entry->d_name), entry->d_name);
        }
        closedir(dir);
        // Values of this folder still waiting for their rename.
        for (const Pending& p : pending) {
            if (p.target.compare(0, folder.size() + 1, folder + "/") == 0) {
                const std::string name = p.target.substr(folder.size() + 1);
                index.emplace(lower(name), name);
            }
        }
    }

    void drop_pending()
    {
        for (const Pending& p : pending)
            unlink(p.temp.c_str());
        pending.clear();
        folders.clear();
        bytes = 0;
    }
};

ValueBatch::ValueBatch() : m_state(new State)
{
}

ValueBatch::~ValueBatch()
{
    m_state->drop_pending();
    delete m_state;
}

Status ValueBatch::set(KeyHandle key, const char* name, uint32_t type, const void* data, uint32_t size)
{
    std::string file;
    if (Status s = value_write_file(key, name, data, size, file); s != Status::Ok)
        return s;
    const std::string& folder = key->folder();
    m_state->index_folder(folder);
    // Keep the spelling under which the value already exists.
    const auto [known, added] = m_state->index.emplace(lower(file), file);
    std::string temp = folder + "/.tmp-XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return Status::IoError;
    // mkostemp creates the file 0600; header and data go in one write.
    std::string bytes = value_header(type, size);
    bytes.append(static_cast<const char*>(data), size);
    const bool ok = write_all(fd, bytes.data(), bytes.size());
    if (close(fd) != 0 || !ok) {
        unlink(temp.c_str());
        if (added)
            m_state->index.erase(known);
        return Status::IoError;
    }
    m_state->pending.push_back({temp, folder + "/" + known->second});
    m_state->folders.insert(folder);
    m_state->bytes += size;
    if (m_state->pending.size() >= kBatchValues || m_state->bytes >= kBatchBytes)
        return commit();
    return Status::Ok;
}

Status ValueBatch::commit()
{
    State& state = *m_state;
    if (state.pending.empty())
        return Status::Ok;
    // One sync of the file system puts every temporary file on disk, where
    // a sync of each would cost a journal commit per value.
    const int fd = open(state.pending.front().temp.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && syncfs(fd) == 0;
    if (fd >= 0)
        close(fd);
    if (!synced) {
        state.drop_pending();
        return Status::IoError;
    }
    for (size_t i = 0; i < state.pending.size(); ++i) {
        if (rename(state.pending[i].temp.c_str(), state.pending[i].target.c_str()) != 0) {
            state.pending.erase(state.pending.begin(), state.pending.begin() + static_cast<long>(i));
            state.drop_pending();
            return Status::IoError;
        }
    }
    // The new names, and the folders of keys made for them, survive a crash
    // once their folders are synced.
    std::set<std::string> folders = state.folders;
    for (const std::string& folder : state.folders)
        folders.insert(folder.substr(0, folder.rfind('/')));
    for (const std::string& folder : folders)
        sync_folder(folder);
    state.pending.clear();
    state.folders.clear();
    state.bytes = 0;
    return Status::Ok;
}

Status ValueBatch::remove(KeyHandle key, const char* name)
{
    if (!key)
        return Status::InvalidName;
    if (Status s = commit(); s != Status::Ok)
        return s;
    std::string file;
    if (Status s = value_name_file(name, file); s != Status::Ok)
        return s;
    m_state->index_folder(key->folder());
    const auto found = m_state->index.find(lower(file));
    if (found == m_state->index.end())
        return Status::NotFound;
    if (unlink((key->folder() + "/" + found->second).c_str()) != 0)
        return Status::IoError;
    m_state->index.erase(found);
    return Status::Ok;
}

Status ValueBatch::remove_tree(Hive hive, const char* subkey)
{
    if (Status s = commit(); s != Status::Ok)
        return s;
    m_state->indexed.clear();
    m_state->index.clear();
    return delete_key_tree(hive, subkey);
}

} // namespace reg
