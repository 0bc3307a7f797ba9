// What the block loader asks of the formula editor: in load-fix mode a stored
// formula that no longer parses is opened for the user to correct. Bound at
// link time by the library's top (library/upper_layers.cpp), so persist
// includes nothing of the editor.
#pragma once

#include "xev/xev.h"

namespace xev::persist {

struct UpperLayers {
  // Opens the editor on CurrentLoadFix()'s failing formula; the expression the
  // user saved, or null.
  HEXP (*editFailingFormula)(ExprContext* ec);
};
extern const UpperLayers kUpperLayers;

}  // namespace xev::persist
