// Record names and texts as the terminal and other programs take them.
#pragma once

#include <string>
#include <string_view>

namespace kdata {

// CP932 text as UTF-8, through the converter's table (a whole file's names
// and texts convert fast). False when the bytes are not CP932.
bool text_utf8(std::string_view cp932_text, std::string& utf8);
// The CP932 text of a record as UTF-8, its CR LF line ends as LF (the data
// pane shows them so). False when the text is not CP932.
bool record_text_utf8(const std::string& cp932_text, std::string& utf8);

} // namespace kdata
