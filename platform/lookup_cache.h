// The recent value lookups of the process, kept so that a value read very
// often (the log facility reads two on every call) costs a stat or nothing.
#pragma once

#include "platform/registry.h"

#include <optional>
#include <string>

namespace reg::detail {

// The answer of a kept lookup of value file `wanted` in `folder` that is
// still current; nullopt when there is none.
std::optional<Status> kept_lookup(const std::string& folder, const std::string& wanted, uint32_t* type, void* data,
                                  uint32_t* size);
// Looks the value up (a kept lookup when still current) and keeps the result.
Status cached_query(const std::string& folder, const std::string& wanted, uint32_t* type, void* data, uint32_t* size);
// After a key of this folder could not be opened: keeps that result for the
// value when the key is missing as spelled.
void note_missing_key(const std::string& folder, const std::string& wanted);

} // namespace reg::detail
