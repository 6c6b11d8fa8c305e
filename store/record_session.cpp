#include "store/record_session.h"

#include "commons/commons.h"
#include "store/record_journal.h"
#include "store/record_lock.h"
#include "store/run_backup.h"
#include "store/side_files.h"

#include <string>

namespace {

std::string g_record; // native path of the record file held, empty when none

} // namespace

SessionStart begin_record_session(const char* path)
{
    begin_run_backups();
    if (lock_record_file(path) == LockResult::Busy) {
        logputd(0, __FILE_NAME__, __LINE__, "Data File (%s) is in use by another kestrel\n", path);
        return SessionStart::Busy;
    }
    g_record = record_native_path(path);
    if (!g_record.empty() && !recover_record_file(g_record)) {
        logputd(0, __FILE_NAME__, __LINE__, "Data File (%s) could not be recovered from its journal\n", path);
        return SessionStart::Unrecovered;
    }
    return SessionStart::Ready;
}

void end_record_session()
{
    if (!g_record.empty() && !recovery_pending())
        remove_journals(g_record);
    g_record.clear();
    unlock_record_file();
}
