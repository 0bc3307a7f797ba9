// The editor's side of load-fix mode (persist/load_fix.h holds the hand-over).
#pragma once

#include "xev/xev.h"

namespace xev::editor {

// Opens the formula editor on the loader's failing formula, owned by the
// nearest usable window above the context's host window.
HEXP EditFailingFormula(ExprContext* ec);

}  // namespace xev::editor
