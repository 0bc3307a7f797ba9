// The library's compiled-in string resources: error messages, labels and the
// built-in function table, looked up by resource id.
#pragma once

#include <cstdint>

namespace xev::resources {

// The text of string resource id, or nullptr when there is none.
const char* FindString(uint32_t id);

}  // namespace xev::resources
