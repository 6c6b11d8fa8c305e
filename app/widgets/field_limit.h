// One-line fields whose text the system stores as CP932 in a 1024-byte
// buffer: input that CP932 cannot hold or that would pass the byte limit is
// refused where it is typed or pasted, with a notice.
#pragma once

#include <cstddef>

class QLineEdit;

// Limits the field to max_bytes CP932 bytes.
void limit_field(QLineEdit* field, int max_bytes);
// The field's text as CP932, cut to size - 1 bytes at a character boundary and
// zero-terminated. False (out empty) when it cannot be written in CP932.
bool take_field(const QLineEdit* field, char* out, std::size_t size);
