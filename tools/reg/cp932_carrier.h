// CP932 text carried through UTF-8 without losing a byte. A .reg file's
// syntax is ASCII, so its lines are parsed as UTF-8; but CP932 holds about
// four hundred characters twice (NEC and IBM rows), and converting through
// Unicode would store the other form. Carried text keeps ASCII as it is and
// turns every other CP932 character into one private-use code point
// (U+F0000 plus its one or two bytes), which no ASCII byte can be part of.
#pragma once

#include <string>
#include <string_view>

namespace kreg {

// CP932 bytes -> carried UTF-8. False when the bytes are not valid CP932.
bool carry_cp932(std::string_view cp932, std::string& out);
// Carried UTF-8 -> the original CP932 bytes. False for any character that is
// neither ASCII nor a carried one.
bool uncarry_cp932(std::string_view carried, std::string& out);

} // namespace kreg
