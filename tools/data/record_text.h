// A record's text as the terminal and other programs take it.
#pragma once

#include <string>

namespace kdata {

// The CP932 text of a record as UTF-8, its CR LF line ends as LF (the data
// pane shows them so). False when the text is not CP932.
bool record_text_utf8(const std::string& cp932_text, std::string& utf8);

} // namespace kdata
