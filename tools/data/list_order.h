// The order of kestrel's lists, for the listing tools. The one place to
// switch to the list-order module of the window when that is shared.
#pragma once

#include <string>
#include <string_view>

namespace kdata {

// A key that sorts CP932 names as the lists do (compare keys bytewise).
// For now: the names decoded, ASCII letters of either case together, ties
// broken by the bytes themselves.
std::string list_order_key(std::string_view cp932_name);

} // namespace kdata
