// Binds what core asks of the layers above it (core/upper_layers.h).
#include "core/upper_layers.h"

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
