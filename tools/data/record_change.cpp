#include "tools/data/record_change.h"

#include "store/file/record_session.h"
#include "tools/command_table.h"

namespace kdata {

RecordLock::RecordLock(const RecordPath& path)
{
    switch (begin_record_session(path.cp932.c_str())) {
    case SessionStart::Ready:
        return;
    case SessionStart::Busy:
        throw tools::Refused(path.shown + " is open in kestrel (or in another kestrel-data): close it first; nothing "
                                          "changed");
    case SessionStart::Unrecovered:
        end_record_session();
        throw tools::Refused(path.shown + " could not be finished from its journal; kestrel's next start tries "
                                          "again; nothing changed");
    case SessionStart::ForeignJournal: {
        const std::string journal = session_side_file();
        end_record_session();
        throw tools::Refused("a journal that is not ours stands beside " + path.shown + " (" + journal +
                             "); nothing changed");
    }
    }
}

RecordLock::~RecordLock()
{
    end_record_session();
}

void replace_or_refuse(const RecordPath& path, const char* unit, const ImageFill& fill, const std::string& what)
{
    switch (replace_record_file(path.cp932.c_str(), unit, fill)) {
    case SaveResult::Saved:
    case SaveResult::Unchanged:
        return;
    case SaveResult::NotSaved:
        throw tools::Refused(path.shown +
                             " could not be replaced (read-only, damaged, or the disk refused the new "
                             "file); it is as it was; " +
                             what);
    case SaveResult::Pending:
        throw tools::Refused(path.shown + " is half replaced; the next start of kestrel or kestrel-data finishes "
                                          "it from its journal");
    case SaveResult::Undecided:
        throw tools::Refused("the disk failed while " + path.shown +
                             " was replaced and while that was undone; the next start of kestrel or kestrel-data "
                             "finds the old file or the new one");
    }
}

} // namespace kdata
