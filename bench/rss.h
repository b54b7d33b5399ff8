// Resident size of this process.
#pragma once

#include <optional>
#include <string>

namespace bench {

// Resident size in kB from the text of /proc/<pid>/statm (its second field counts pages).
std::optional<long> resident_kb_from_statm(const std::string& statm, long page_bytes);
std::optional<long> resident_kb();

}  // namespace bench
