// Case mapping of UTF-8 text in full: a character may become several (the
// sharp s "SS"), and a text may change its byte length either way.
#pragma once

#include <cstddef>

namespace xev::host {

enum class CaseMap { kUpper, kLower, kProper };

// Writes src mapped to dst and returns the bytes of the result with its
// terminator. dst may be nullptr, to measure only, or src itself when
// noGrowth is set: then a character whose mapping would take more bytes than
// it does stays as it is, so the result is never longer than src. Proper
// case raises the first letter of every word and lowers the others, by the
// word rule of HostStrProper; broken bytes are copied unchanged.
size_t MapCase(CaseMap map, const char* src, char* dst, bool noGrowth);

}  // namespace xev::host
