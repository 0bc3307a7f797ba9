// The parse tree's plain data: what an expression record owns and every
// layer reads. Building, walking and releasing trees is the language layer's.
#pragma once

#include <cstdint>

namespace xev::core {

// Trees have no depth limit of their own. Nesting (parentheses, calls) is
// bounded by the parser's stack, which refuses more with error 122; a chain
// of left-associative operators never grows that stack and may be as long as
// memory allows, so every walk over a tree goes down the left side in a loop
// or with a stack of its own.

enum NodeKind : uint32_t {
  NK_NUMBER = 0,
  NK_MOD = 37,
  NK_MUL = 42,
  NK_ADD = 43,
  NK_SUB = 45,
  NK_DIV = 47,
  NK_CONCAT = 124,
  NK_ITEM = 258,
  NK_FUNCTION = 259,
  NK_FORMULAREF = 261,
  NK_STRING = 262,
  NK_DATE = 263,
  NK_SET = 270,
  NK_RANGE = 271,
};

// Call node flags.
constexpr uint16_t kCallStar = 2;        // called as "(*)"
constexpr uint16_t kCallQuantifier = 4;  // DISTINCT or ALL given
// String node flag: the text holds "\'" or "''".
constexpr uint16_t kStringEscaped = 1;

// One node, zero-filled, from AllocateNode (or, made by hand, a host block of
// its own). What left and right hold depends on the kind:
//   NK_NUMBER: left = NumberValue*;  NK_ITEM, NK_FUNCTION, NK_FORMULAREF: left = name;
//   NK_STRING, NK_DATE: left = text; operators and NK_RANGE: left/right = operands;
//   NK_FUNCTION: right = HandleArray of argument nodes (or none);
//   NK_SET: right = HandleArray of element nodes.
struct ExprNode {
  uint32_t kind;
  int16_t type;     // DataType; -1 while or after a check failed
  uint32_t pos;     // byte offset of the token the node was built from
  uint32_t len;     // byte length of that token
  uint32_t endPos;  // calls with parentheses: offset of the closing ")"
  uint16_t flags;   // operators: DateUnit; calls: kCall*; strings: kStringEscaped
  void* left;
  void* right;
  uintptr_t reserved;
  // The node block it was taken from; none for a host block of its own. A
  // node from a block keeps its name, number or text (left) in a block too.
  void* block = nullptr;
};

inline bool IsOperatorKind(uint32_t kind) {
  return kind == NK_MOD || kind == NK_MUL || kind == NK_ADD || kind == NK_SUB || kind == NK_DIV ||
         kind == NK_CONCAT;
}

// Kinds whose left and right are operand nodes.
inline bool HasOperandPair(uint32_t kind) { return IsOperatorKind(kind) || kind == NK_RANGE; }

}  // namespace xev::core
