// --locale: a locale of the C library (or the one the environment names)
// made into the runtime's locale record, in the engine's code page.
#pragma once

#include <string>

#include "input/text_encoding.h"

namespace xevhost {

// name is a locale name or "env". false with a one-line message when this
// system has no such locale.
bool UseLocale(const std::string& name, const CodePageConverter& converter, std::string& error);

}  // namespace xevhost
