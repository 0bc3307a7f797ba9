// The layout of a prepared formula, shared by the code that prepares it and
// the code that runs it.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "language/language.h"
#include "xev/xev.h"

namespace xev::eval::plan {

enum class Code : uint8_t {
  kConstant,    // a Number literal of the tree
  kItem,        // a Number or DateTime data item, asked of its callback
  kArithmetic,  // '+', '-', '*' or '/' on two Numbers
  kCall,        // a function with a Number or DateTime result and Number arguments
  kSubtree,     // anything else: the walk evaluates this node and what hangs below it
};

// Calls with more parameters than this are left to the walk.
constexpr int32_t kMaxCallParameters = 8;

struct Step {
  Code code;
  OperatorIndex op;              // kArithmetic
  int32_t left;                  // kArithmetic: operand steps; kCall: first argument entry
  int32_t right;                 // kCall: number of argument entries
  int32_t depth;                 // kSubtree: the node's depth below the root
  const language::ExprNode* node;
  const NumberValue* constant;   // kConstant
  ExpItem* item;                 // kItem, kCall: what the name resolved to
  void* block;                   // kItem, kCall: the result block, kept from row to row
};

// One argument slot of a call: the step whose value it receives, or for a
// parameter passed by name (step < 0) the text of node; no node, no value.
struct Argument {
  int32_t step;
  const language::ExprNode* node;
};

struct alignas(16) Slot {
  NumberValue number;
};

struct Plan {
  ExprContext* ec;
  const language::ExprNode* root;
  uint32_t generation;
  bool running;
  int32_t stepCount;
  int32_t argumentCount;
  Step* steps;
  Argument* arguments;
  const NumberValue** values;  // per step: its value, nullptr for none
  Slot* results;               // per step: room for a computed value
};

// A plan for exp's tree as ec resolves it now, or nullptr when the formula is
// not one for a plan or memory is short.
Plan* Prepare(ExprContext* ec, HEXP exp);
void Release(Plan* plan);

}  // namespace xev::eval::plan
