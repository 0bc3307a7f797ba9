// Which characters a name may hold, as the scanner checks them, for the
// helpers that make names out of other text (a table's column labels).
#pragma once

#include <cstdint>

namespace xev::language {

// The character at p, of which at most available bytes may be read, in one
// part of a name outside quotes under the current code page: its length in
// bytes when a name may hold it, else minus the bytes it takes (a broken
// sequence counts as the bytes of its start). A "." parts names, so it is
// no character of a part.
int NamePartCharLength(const char* p, uint32_t available);

}  // namespace xev::language
