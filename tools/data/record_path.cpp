#include "tools/data/record_path.h"

#include "platform/cp932.h"
#include "platform/registry.h"
#include "platform/windows_path.h"
#include "tools/command_table.h"
#include "tools/terminal_text.h"

#include <cstring>

namespace kdata {
namespace {

// kestrel's own key and its text buffers.
const char* const kProgramKey = "SOFTWARE\\qelt_key_yoyaku";
constexpr uint32_t kTextSize = 1024;

} // namespace

RecordPath record_path(const std::string& given)
{
    RecordPath path;
    if (!given.empty()) {
        path.native = path.shown = given;
        if (!cp932::from_utf8(given, path.cp932))
            throw tools::Refused("the path " + given + " cannot be written in CP932, as kestrel keeps paths");
        return path;
    }
    char value[kTextSize + 1] = {};
    uint32_t type = 0;
    uint32_t size = kTextSize;
    if (reg::read_value(reg::Hive::LocalMachine, kProgramKey, "kest_datafile", &type, value, &size) !=
            reg::Status::Ok ||
        value[0] == '\0')
        throw tools::Refused("no FILE given, and no record file set in the registry (kest_datafile)");
    path.cp932 = value;
    path.shown = tools::to_utf8(path.cp932);
    if (winpath::is_windows_path(path.shown))
        throw tools::Refused("kest_datafile holds the Windows path " + path.shown + ": give FILE");
    if (!cp932::native_path(path.cp932.c_str(), path.native))
        throw tools::Refused("kest_datafile is not CP932 text");
    return path;
}

} // namespace kdata
