// Helpers of the start-up, configuration and main window tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Turns the log on: every record goes to `path`.
void enable_log(const std::filesystem::path& path);
// The raw bytes and type of a value of the configuration key; false when it is missing.
bool registry_value(const char* name, std::string& bytes, uint32_t& type);
// Puts a whole configuration into the registry, as a previous run leaves it.
void store_config(const std::string& datafile, int kind_cursel, const std::string& password);

class QWidget;
class QString;
// Types text that QTest's key clicks cannot (non-Latin characters), one key
// event per character as an input method would deliver it.
void type_unicode(QWidget* widget, const QString& text);
