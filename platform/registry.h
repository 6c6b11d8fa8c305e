// The registry stand-in: HKEY_LOCAL_MACHINE and friends as folders on disk.
//
// Root folder: $KESTREL_REGISTRY, else $XDG_CONFIG_HOME/kestrel/registry, else
// ~/.config/kestrel/registry. A hive is a folder under the root (for example
// HKEY_LOCAL_MACHINE/), a key is a folder, a value is one file in its key's
// folder holding the value's type and raw bytes. Key and value names are
// CP932 bytes, matched case-insensitively (ASCII) and stored with the case
// they were created with. Every write replaces the value file atomically.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace reg {

// Value types, numbered as on Windows.
enum : uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_DWORD_BIG_ENDIAN = 5,
    REG_LINK = 6,
    REG_MULTI_SZ = 7,
    REG_QWORD = 11,
};

enum class Hive { LocalMachine, CurrentUser };

// Largest value data that is stored or read; a bigger value file reads as missing.
constexpr uint32_t kMaxValueSize = 1024 * 1024;

// Status codes, mirroring the Win32 ones the callers tell apart.
enum class Status { Ok, NotFound, MoreData, InvalidName, IoError };

class Key; // an open key
using KeyHandle = Key*;

// Folder of the registry root (not created).
std::string root_folder();
// Folder name of a hive ("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER").
const char* hive_name(Hive hive);

// Opens an existing key for reading values; NotFound when any part is missing.
// The subkey uses backslashes ("SOFTWARE\\qelt_key_yoyaku"); empty = the hive.
Status open_key(Hive hive, const char* subkey, KeyHandle* out);
// Opens a key, creating it and every missing key above it (folders 0700).
Status create_key(Hive hive, const char* subkey, KeyHandle* out);
void close_key(KeyHandle key);

// Reads a value. On entry *size is the capacity of data; on success it is the
// value's byte count. MoreData (data untouched) when the value is larger than
// the capacity; NotFound when missing, malformed or over kMaxValueSize.
// type may be null. An empty name is the key's default value.
Status query_value(KeyHandle key, const char* name, uint32_t* type, void* data, uint32_t* size);
// open_key, query_value and close_key in one call, for a caller that reads a
// value very often: a value read before and unchanged since costs a stat of
// its file (a missing one, a stat of the key's folder; a missing key, a stat
// of the deepest folder of its path). NotFound also when the key is missing.
Status read_value(Hive hive, const char* subkey, const char* name, uint32_t* type, void* data, uint32_t* size);
// Stores a value (type and exactly size bytes), replacing it atomically (0600).
Status set_value(KeyHandle key, const char* name, uint32_t type, const void* data, uint32_t size);
// Deletes a value; NotFound when it does not exist.
Status delete_value(KeyHandle key, const char* name);

// Names (as created) of the key's values and direct subkeys, sorted case-insensitively.
std::vector<std::string> value_names(KeyHandle key);
std::vector<std::string> subkey_names(KeyHandle key);
// Deletes a key with all its values and subkeys; NotFound when missing.
Status delete_key_tree(Hive hive, const char* subkey);

// Whether a key of this name can be stored: at most 512 levels (as on
// Windows), each name at most 255 bytes, and the folder with room for any
// value file within the system's path limit.
bool key_fits(Hive hive, const char* subkey);
// Whether a value of this name can be stored (its file name within NAME_MAX).
bool value_name_fits(const char* name);

// Many values stored in one go, as an import does: each value is written to
// a temporary file beside its target at once, without a sync; every few
// thousand values, and at commit(), the file system is synced once and the
// temporary files are renamed over their targets, then their folders are
// synced. A reader sees each value old or new, never torn, as with
// set_value. A name is matched case-insensitively through one listing of
// its key's folder rather than a scan for each value. Values still pending
// when the batch is destroyed are dropped.
class ValueBatch
{
public:
    ValueBatch();
    ~ValueBatch();
    ValueBatch(const ValueBatch&) = delete;
    ValueBatch& operator=(const ValueBatch&) = delete;

    Status set(KeyHandle key, const char* name, uint32_t type, const void* data, uint32_t size);
    // Deletes at once, after committing what is pending.
    Status remove(KeyHandle key, const char* name);
    Status remove_tree(Hive hive, const char* subkey);
    // Syncs and renames every pending value.
    Status commit();

private:
    struct State;
    State* m_state;
};

} // namespace reg
