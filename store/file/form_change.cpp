#include "store/file/form_change.h"

#include "commons/commons.h"
#include "platform/atomic_file.h"
#include "platform/cp932.h"
#include "platform/file_calls.h"
#include "store/file/change_log.h"
#include "store/file/protected_form.h"
#include "store/file/record_session.h"
#include "store/file/run_backup.h"
#include "store/file/side_files.h"

#include <sodium.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The Windows form's header of an open file (count and scrambled entries);
// false when an entry does not open.
bool windows_header_of(const RecordFile& file, std::string& header)
{
    const int32_t count = file.area().count;
    header.assign(reinterpret_cast<const char*>(&count), sizeof count);
    for (int slot = 0; slot < count; ++slot) {
        KindHeader entry;
        if (!file.readEntry(slot, entry))
            return false;
        header.append(reinterpret_cast<const char*>(&entry), sizeof entry);
    }
    return true;
}

// Writes `header` (already in the target form), then every block of `from`
// in the target form. False when a block does not open or a write fails.
bool write_image(int fd, const RecordFile& from, const std::string& header, bool sealed)
{
    if (!fc::write_all(fd, header.data(), header.size()))
        return false;
    BlockWalk walk = from.walk();
    int64_t expected = 0;
    std::string bytes;
    while (const CatgRecord* block = walk.next()) {
        // A block passed over did not open: the conversion is all or nothing.
        if (walk.index() != expected++) {
            errno = EBADMSG;
            return false;
        }
        bytes = sealed ? seal_block(walk.index(), *block, nullptr)
                       : std::string(reinterpret_cast<const char*>(block), sizeof *block);
        if (!fc::write_all(fd, bytes.data(), bytes.size()))
            return false;
    }
    if (!walk.failed() && expected != from.area().blocks)
        errno = EBADMSG;
    return !walk.failed() && expected == from.area().blocks;
}

// Replaces the file `from` (open, at native path `native`) by `header` and its
// blocks in the target form, renamed over it with its mode and group. Files
// with more than one link or another owner are left as they are: a rename
// would split them from their other names or hand them to us.
bool replace_in_form(const RecordFile& from, const std::string& native, const std::string& header, bool sealed)
{
    struct stat st;
    if (!fc::fstat(from.fd(), st) || st.st_nlink > 1 || st.st_uid != geteuid() || !session_retire_journals(native))
        return false;
    const mode_t mode = (st.st_mode & 077) != 0 ? 0600 : st.st_mode & 07777;
    if (atomic_file::replace_with(native, image_template(native, false), mode, st.st_gid, [&](int fd) {
            return write_image(fd, from, header, sealed);
        }) == atomic_file::Outcome::Failed)
        return false;
    session_file_replaced(native);
    note_file_change(native, -1);
    return true;
}

// Converts the record file at `path` between the forms under its lock.
Conversion convert(const char* path, bool to_sealed, const char* password, KeyCost cost)
{
    switch (begin_record_session(path)) {
    case SessionStart::Busy:
        return Conversion::Busy;
    case SessionStart::Ready:
        break;
    default: // a journal that could not be applied, or one not ours: the file is left alone
        end_record_session();
        return Conversion::Failed;
    }
    RecordFile file;
    Conversion result = Conversion::Done;
    switch (file.openRead(path)) {
    case OpenStatus::Ok:
        break;
    case OpenStatus::Missing:
        result = Conversion::Missing;
        break;
    default:
        result = Conversion::Damaged;
        break;
    }
    if (result == Conversion::Done && file.area().sealed == to_sealed)
        result = Conversion::AlreadyInForm;
    if (result == Conversion::Done && !to_sealed) {
        const FileUnlock unlock = unlock_record_file(path, password);
        result = unlock == FileUnlock::Ok              ? result
                 : unlock == FileUnlock::WrongPassword ? Conversion::WrongPassword
                                                       : Conversion::Damaged;
    }
    if (result == Conversion::Done && to_sealed && !data_key::create(password, cost))
        result = Conversion::Failed;
    std::string header;
    if (result == Conversion::Done && !windows_header_of(file, header))
        result = Conversion::Damaged;
    if (result == Conversion::Done && to_sealed)
        header = sealed_header(header, nullptr);
    if (result == Conversion::Done && !replace_in_form(file, file.native(), header, to_sealed))
        result = errno == EBADMSG ? Conversion::Damaged : Conversion::Failed;
    if (result == Conversion::Done && to_sealed)
        protect_backups(path);
    sodium_memzero(header.data(), header.size());
    data_key::forget();
    end_record_session();
    return result;
}

} // namespace

bool protect_open_record_file(const char* path, const char* password, KeyCost cost)
{
    if (!data_key::create(password, cost))
        return false;
    RecordFile old;
    bool done = false;
    switch (old.openUpdate(path, __FILE_NAME__, false)) {
    case OpenStatus::Missing:
        // Made now, empty and protected; the save at exit gives it its header.
        done = errno == ENOENT && !old.native().empty() &&
               write_header(path, std::string(COUNT_SIZE, '\0'), __FILE_NAME__) == SaveResult::Saved;
        break;
    case OpenStatus::Ok: {
        std::string header;
        done = !old.area().sealed && windows_header_of(old, header) &&
               replace_in_form(old, old.native(), sealed_header(header, nullptr), true);
        sodium_memzero(header.data(), header.size());
        if (done)
            protect_backups(path);
        break;
    }
    default:
        break;
    }
    if (!done)
        data_key::forget();
    return done;
}

bool rewrap_record_file(const char* path, const char* password, KeyCost cost)
{
    const KeyWrap kept = data_key::wrap();
    RecordFile file;
    std::string header;
    // Only the file the key belongs to: its entries open with it.
    if (!data_key::loaded() || file.openRead(path) != OpenStatus::Ok || !file.area().sealed ||
        !windows_header_of(file, header) || !data_key::rewrap(password, cost))
        return false;
    const SaveResult result = write_header(path, header, __FILE_NAME__);
    sodium_memzero(header.data(), header.size());
    // Pending: the next start completes it from its journal.
    if (result == SaveResult::Saved || result == SaveResult::Pending)
        return true;
    data_key::restore_wrap(kept);
    return false;
}

int protect_backups(const char* path)
{
    namespace fs = std::filesystem;
    const std::string native = record_native_path(path);
    const std::string folder = state_folder_path("backups");
    if (native.empty() || folder.empty() || !data_key::loaded())
        return 0;
    const std::string prefix = backup_prefix(native);
    int removed = 0;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        std::string cp932Path;
        if (!name.starts_with(prefix) || !cp932::from_utf8(entry.path().string(), cp932Path))
            continue;
        RecordFile backup;
        if (backup.openRead(cp932Path.c_str()) == OpenStatus::Ok && backup.area().sealed)
            continue;
        std::string header;
        const bool replaced = backup.fd() >= 0 && windows_header_of(backup, header) &&
                              replace_in_form(backup, entry.path().string(), sealed_header(header, nullptr), true);
        sodium_memzero(header.data(), header.size());
        // A readable copy of a protected file is not left behind.
        if (!replaced && fc::unlink(entry.path().c_str()))
            ++removed;
    }
    return removed;
}

Conversion protect_record_file(const char* path, const char* password, KeyCost cost)
{
    return convert(path, true, password, cost);
}

Conversion unprotect_record_file(const char* path, const char* password)
{
    return convert(path, false, password, KeyCost::standard());
}
