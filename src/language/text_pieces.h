// Formula text cut into names, quoted names, strings and punctuation without
// parsing it: what hints and hosts look at around an error, where the text
// may not parse at all.
#pragma once

#include <cstdint>

#include "xev/xev.h"

namespace xev::language {

using PieceVisitor = bool (*)(void* user, const XEVTextPiece& piece);

// Calls visit for each piece of text in order until it returns false.
void VisitPieces(const char* text, PieceVisitor visit, void* user);

// Copies a piece's content into out (size bytes, zero-terminated): quoted
// pieces without their quotes and with doubled quotes single. False, with
// out cut, when it does not fit.
bool PieceContent(const char* text, const XEVTextPiece& piece, char* out, size_t size);

}  // namespace xev::language
