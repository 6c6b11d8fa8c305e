// One fuzz case: arbitrary bytes as the record file, run through the load,
// the record list walk, every record operation, the category changes and the
// save. Aborts when the store breaks one of its promises about the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

void run_record_file_case(const std::string& folder, const uint8_t* data, size_t size);
