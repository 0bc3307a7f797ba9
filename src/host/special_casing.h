// Characters whose upper or title case is more than one character.
#pragma once

namespace xev::host {

// The upper case (title: the title case) of ch when it is more than one
// character: up to three code points, ended early by 0; nullptr for every
// other character, whose simple partner is the whole answer.
const char32_t* SpecialUpper(char32_t ch, bool title);

}  // namespace xev::host
