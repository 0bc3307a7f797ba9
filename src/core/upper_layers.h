// What core asks of the layers above it when an expression or a context
// goes: whether other formulas still name it and the release of its tree
// (language), of its prepared plan and of the item cells (eval). Bound at link time by the library's top (library/upper_layers.cpp),
// so core includes none of them.
#pragma once

#include "core/core.h"
#include "core/expr_node.h"

namespace xev::core {

struct UpperLayers {
  bool (*formulaUsedByOthers)(ExprContext* ec, const char* name, const ExprRecord* skip);
  void (*releaseTree)(ExprContext* ec, ExprNode* root);
  void (*releasePlan)(ExprRecord* record);
  void (*releaseItemCells)(ExprContext* ec);
};
extern const UpperLayers kUpperLayers;

}  // namespace xev::core
