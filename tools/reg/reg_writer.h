// Writes .reg files that the Windows registry editor imports.
#pragma once

#include "tools/reg/reg_document.h"

#include <string>

namespace kreg {

// The file for doc in doc.format: Version 5 as UTF-16LE with a byte order
// mark, REGEDIT4 as CP932; CR LF line ends; hex lists wrapped at 80 columns
// with backslash continuations. Removals are written as [-key] and "name"=-.
// REGEDIT4 keeps every CP932 byte exactly. False, with the reason, when a
// name or a text value is not CP932 text, or, for Version 5, holds one of
// the CP932 characters that UTF-16LE cannot keep apart from its duplicate.
bool write_reg_file(const RegDocument& doc, std::string& out, std::string& error);

} // namespace kreg
