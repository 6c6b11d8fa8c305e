#include "platform/atomic_file.h"
#include "tools/reg/open_key.h"
#include "tools/reg/reg_commands.h"
#include "tools/reg/reg_writer.h"
#include "tools/terminal_text.h"

#include <cerrno>
#include <cstring>

namespace kreg {
namespace {

void collect(const KeyPath& key, RegDocument& doc)
{
    RegKey block;
    block.path = full_key_name(key);
    std::vector<std::string> subkeys;
    {
        OpenKey open;
        if (reg::open_key(key.hive, key.subkey.c_str(), open.out()) != reg::Status::Ok)
            throw Refused("no key " + tools::to_utf8(block.path));
        for (const std::string& name : reg::value_names(open.get())) {
            RegValue value;
            value.name = name;
            if (read_value(open.get(), name, value.type, value.data))
                block.values.push_back(std::move(value));
        }
        subkeys = reg::subkey_names(open.get());
    }
    doc.keys.push_back(std::move(block));
    for (const std::string& name : subkeys)
        collect({key.hive, key.subkey.empty() ? name : key.subkey + '\\' + name}, doc);
}

// Replaces file with bytes through a temporary file in the same folder,
// synced before the rename: the target is the old file or the new one.
void write_atomically(const std::string& file, const std::string& bytes)
{
    if (!atomic_file::replace(file, file + ".XXXXXX", {bytes}))
        throw Refused("cannot write " + file + ": " + std::strerror(errno));
}

} // namespace

RegDocument export_document(const std::string& key, RegFormat format)
{
    RegDocument doc;
    doc.format = format;
    collect(key_path(key), doc);
    return doc;
}

void export_key(const std::string& key, RegFormat format, const std::string& file, std::ostream& out)
{
    std::string bytes, error;
    if (!write_reg_file(export_document(key, format), bytes, error))
        throw Refused("cannot export " + key + ": " + error);
    if (file.empty() || file == "-") {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return;
    }
    write_atomically(file, bytes);
}

void run_export(const tools::Call& call)
{
    export_key(call.option("key", kDefaultKey), call.has("regedit4") ? RegFormat::Regedit4 : RegFormat::Version5,
               call.arg(0), call.out);
}

} // namespace kreg
