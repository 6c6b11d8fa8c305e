// A small number kept as REG_SZ digits in a registry value, read quietly: a
// missing value is the usual case and no log line may tell of the read.
#pragma once

namespace reg {

// The value under HKEY_LOCAL_MACHINE\<subkey> as a decimal number, capped at
// `max`; `fallback` when it is missing, not REG_SZ, empty or not all digits.
int read_digits(const char* subkey, const char* name, int fallback, int max);

} // namespace reg
