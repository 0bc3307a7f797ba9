// The Unicode character data the engine needs under code page 65001: simple
// (one to one) case partners and the classes a name may use. One small
// interface, answered by utf8proc where the build has it and by the system's
// own Unicode functions in the Windows build.
#pragma once

namespace xev::host::unicode {

// The simple case partners of ch; ch itself when it has none.
char32_t ToUpper(char32_t ch);
char32_t ToLower(char32_t ch);
char32_t ToTitle(char32_t ch);

// A letter (general category L).
bool IsLetter(char32_t ch);
// A mark (general category M): accents and vowel signs that combine with
// the character before them.
bool IsMark(char32_t ch);
// A letter, mark or number (general categories L, M, N): what a name may hold
// beyond ASCII.
bool IsWordChar(char32_t ch);

}  // namespace xev::host::unicode
