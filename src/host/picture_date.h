// A date picture read once and written for many dates: the codes and literal
// runs of the picture as a list, so that a formula that writes every row's
// date by the same picture neither checks nor walks its text again.
#pragma once

#include <cstdint>

#include "xev/xevhost.h"

namespace xev::host {

struct CompiledDatePicture {
  // Pictures with more pieces or literal bytes than these are written from
  // their text; none that people write comes near.
  static constexpr int32_t kMostPieces = 32;
  static constexpr int32_t kMostLiteralBytes = 96;
  // A field with the literal text before it; a last run of literal text is a
  // piece of its own, with the literal field code.
  struct Piece {
    uint8_t field;   // the picture engine's field code
    uint8_t count;   // letters in the code
    uint8_t at;      // the literal text before the field: its first byte in literals
    uint8_t length;  // and its bytes
    uint8_t place;   // a number: its place among the fields of DateParts
    uint8_t writer;  // how the field is written, chosen when compiled
  };
  // A short run of literal text is copied as one word of this many bytes.
  static constexpr int32_t kLiteralWord = 8;
  int32_t pieceCount = 0;
  int32_t most = 0;  // the most bytes the picture writes
  Piece pieces[kMostPieces];
  char literals[kMostLiteralBytes + kLiteralWord];
};

// False when the picture is refused, or too long for the compiled form.
bool CompileDatePicture(const char* picture, CompiledDatePicture* out);

// Writes normalised parts by the picture into text, as the picture's text
// would into a buffer of size bytes: false, with text empty, when it does
// not fit.
bool WriteDateByCompiledPicture(const CompiledDatePicture& picture, const DateParts& parts, char* text,
                                int32_t size);

}  // namespace xev::host
