// AppConfig: the process-wide configuration block. Loaded once at start and
// written once at the end; everything else reads and changes it in memory.
#pragma once

#include <cstdint>

constexpr int CONFIG_TEXT_SIZE = 1024; // 1023 bytes of text and the terminator

struct AppConfig
{
    int32_t datafile_changed;        // 1 once the user went into the settings; not persisted
    char datafile[CONFIG_TEXT_SIZE]; // record file path (CP932)
    char cwdpath[CONFIG_TEXT_SIZE];  // working directory taken at load
    int32_t kind_cursel;             // row of the selected category, negative for none
    int32_t ncursel;                 // row whose text the data pane holds, -1 for none; not persisted
    char password[CONFIG_TEXT_SIZE]; // plain login password, empty for none
};

extern AppConfig g_app_config;
