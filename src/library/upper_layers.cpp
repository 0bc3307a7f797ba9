// Binds what the lower layers ask of those above them (core/upper_layers.h,
// persist/upper_layers.h).
#include "core/upper_layers.h"
#include "persist/upper_layers.h"

#include "editor/load_fix_editor.h"
#include "eval/evaluator.h"
#include "eval/item_cells.h"
#include "language/dependencies.h"
#include "language/language.h"

namespace xev::core {

constinit const UpperLayers kUpperLayers = {
    .formulaUsedByOthers = &language::NamedFormulaUsedByOthers,
    .releaseTree = &language::ReleaseTree,
    .releasePlan = &eval::ReleasePlan,
    .releaseItemCells = &eval::ItemCells::Release,
};

}  // namespace xev::core

namespace xev::persist {

constinit const UpperLayers kUpperLayers = {
    .editFailingFormula = &editor::EditFailingFormula,
};

}  // namespace xev::persist
