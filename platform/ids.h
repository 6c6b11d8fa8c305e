// Process and thread ids, as the log headers print them.
#pragma once

namespace ids {

long process_id();
long thread_id();

} // namespace ids
