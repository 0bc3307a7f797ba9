// What the three parts of building a tree share: the parse's node blocks
// (node_blocks.cpp), the checks made on each node (tree_checks.cpp) and the
// grammar's actions (tree_build.cpp). Internal to the language layer.
#pragma once

#include <cstdint>

#include "core/handle_array.h"
#include "core/item_index.h"
#include "language/tree_build.h"
#include "xev/xev.h"

namespace xev::language {

using core::HGLOBAL;

// ---- Node storage ----------------------------------------------------------------
//
// A parse takes its nodes, and the names, numbers and texts of its tokens,
// from blocks of several nodes rather than a host block each. The block the
// parse fills is open; every parse closes it at its end, so what a block holds
// all belongs to the trees of one parse, hence of one context, which one
// thread uses at a time. A closed block goes back to the host with the last
// node or value taken from it, an open one when the parse ends with nothing
// left in it. A value may lie in another block than its node: it finds its
// own block through the pointer in front of it.
//
// The blocks of a parse are chained. When every node and value its tree
// made is still there, the tree is sealed: its newest block names the root,
// and releasing the root gives the blocks back without freeing a node. A
// tree without argument or element lists, which lie outside the blocks, is
// not even visited; one with lists is walked for them alone. Moving a node's
// name out of the blocks (an item rename that does not fit) breaks the seal.
struct alignas(16) NodeBlock {
  uint32_t live;  // nodes and values handed out and not yet freed
  uint32_t used;  // bytes handed out
  uint32_t capacity;
  uint16_t open;
  uint16_t sealedWithLists;  // in the last block: the sealed tree holds lists
  NodeBlock* previous;      // the block the same parse took before this one
  NodeBlock* newest;        // once sealed: the parse's last block
  const ExprNode* sealed;   // in the last block: the root that alone holds the chain
};

extern constinit thread_local NodeBlock* t_openBlock;

// The parser's own share of the parse state; the scanner keeps the rest.
struct ParserState {
  ExprNode* root;
  bool madeFormulaReference;  // a successful parse keeps every node it made
  bool madeList;              // a call's arguments or a set: a list outside the blocks
  bool gaveBack;              // a node or value went back to its block
  NodeBlock* newestBlock;     // the last block this parse took
  // The context's item index, taken current when the parse begins; nullptr
  // when the context has none and names are looked up in its lists.
  const core::item_index::IndexBlock* items;
};
extern constinit thread_local ParserState t_parser;  // one per thread, like the scanner's

// Opens a block for at least bytes; nullptr when memory is short.
NodeBlock* OpenBlock(uint32_t bytes);

// bytes from the open block, opening another when they do not fit; nullptr
// when memory is short. The block is told through *from.
inline void* TakeFromBlock(uint32_t bytes, NodeBlock** from) {
  NodeBlock* block = t_openBlock;
  if (block == nullptr || block->capacity - block->used < bytes) {
    block = OpenBlock(bytes);
    if (block == nullptr) return nullptr;
  }
  void* taken = reinterpret_cast<char*>(block + 1) + block->used;  // never reused
  block->used += bytes;
  ++block->live;
  *from = block;
  return taken;
}

// Takes back one node or value from block, which goes to the host with its last.
void GiveBack(NodeBlock* block);

// ---- Nodes and errors ----------------------------------------------------------------

// Whole-formula errors are marked over a span long enough for any text.
constexpr uint32_t kWholeTextLength = 1000;

constexpr int16_t kNumber = XEV_TYPE_NUMBER;
constexpr int16_t kDateTime = XEV_TYPE_DATETIME;
constexpr int16_t kString = XEV_TYPE_STRING;

inline void SetError(uint32_t code, uint32_t pos, uint32_t len) { ParseError() = ExprError{code, pos, len}; }
inline void SetErrorAt(uint32_t code, const ExprNode* node) { SetError(code, node->pos, node->len); }

inline ExprNode* AsNode(const ParseValue& value) { return static_cast<ExprNode*>(value.value); }
inline const char* NodeName(const ExprNode* node) { return static_cast<const char*>(node->left); }

// A node written whole in one go, with its operands or value when known.
[[gnu::always_inline]] inline ExprNode* NewNode(uint32_t kind, uint32_t pos, uint32_t len, void* left = nullptr,
                                                void* right = nullptr) {
  NodeBlock* block = nullptr;
  auto* node = static_cast<ExprNode*>(TakeFromBlock(sizeof(ExprNode), &block));
  if (node == nullptr) return nullptr;
  *node = ExprNode{.kind = kind, .type = 0, .pos = pos, .len = len, .endPos = 0, .flags = 0,
                   .left = left, .right = right, .reserved = 0, .block = block};
  return node;
}

inline void Release(ExprNode* node) { ReleaseTree(ScanContext(), node); }

// The most recently scanned real token: the end token keeps its span.
inline const TokenValue& LastToken() { return CurrentToken(); }

inline bool IsSetOrRange(const ExprNode* node) { return node->kind == NK_SET || node->kind == NK_RANGE; }

// The node list of a call or set, locked while the object lives.
class LockedNodes {
 public:
  explicit LockedNodes(HGLOBAL list) : list_(list), count_(core::HandleArrayCount(list)) {
    if (count_ > 0) nodes_ = static_cast<ExprNode**>(core::HandleArrayLockElement(list, 0));
    if (nodes_ == nullptr) count_ = 0;
  }
  ~LockedNodes() {
    if (nodes_ != nullptr) core::HandleArrayUnlock(list_);
  }
  LockedNodes(const LockedNodes&) = delete;
  LockedNodes& operator=(const LockedNodes&) = delete;

  int32_t count() const { return static_cast<int32_t>(count_); }
  ExprNode* operator[](int32_t i) const { return nodes_[i]; }

 private:
  HGLOBAL list_;
  ExprNode** nodes_ = nullptr;
  uint32_t count_;
};

// ---- Checks --------------------------------------------------------------------------
// Each records its error and returns false when the node fails.

struct CallSite {
  ExprNode* node;
  HGLOBAL args;
  uint16_t callFlags;
  uint16_t quantifier;
};

// Types a leaf: numbers, strings, date constants, data and keyword items.
bool TypeLeaf(ExprNode* node);
// Admits and types an operator node whose operands are typed.
bool CheckOperator(ExprNode* node);
// Resolves a call to a function (arity, argument types and names) or to a formula.
bool ResolveCall(CallSite& call);

}  // namespace xev::language
