// Releasing parse trees. A chain of a million operators is a million levels
// deep, so the release walks the tree with a stack threaded through the nodes
// themselves: every node reached is about to be freed, so its reserved field
// is free to hold the link to the next pending node. Nothing is allocated, so
// releasing can never fail half-way.
#include "language/language.h"

#include <cstring>

#include "core/handle_array.h"
#include "xev/xevhost.h"

namespace xev::language {

namespace {

using core::HGLOBAL;

class PendingNodes {
 public:
  void Push(ExprNode* node) {
    if (node == nullptr) return;
    node->reserved = reinterpret_cast<uintptr_t>(top_);
    top_ = node;
  }
  ExprNode* Pop() {
    ExprNode* node = top_;
    if (node != nullptr) top_ = reinterpret_cast<ExprNode*>(node->reserved);
    return node;
  }

 private:
  ExprNode* top_ = nullptr;
};

void PushListAndFree(PendingNodes& pending, void* listHandle) {
  auto list = static_cast<HGLOBAL>(listHandle);
  if (list == nullptr) return;
  uint32_t count = core::HandleArrayCount(list);
  if (count > 0) {
    auto** nodes = static_cast<ExprNode**>(core::HandleArrayLockElement(list, 0));
    if (nodes != nullptr) {
      for (uint32_t i = 0; i < count; ++i) pending.Push(nodes[i]);
      core::HandleArrayUnlock(list);
    }
  }
  core::HandleArrayFree(list);
}

// Frees what the node owns apart from its child nodes, which go on the stack.
void ReleaseOwnedParts(PendingNodes& pending, ExprNode* node) {
  uint32_t kind = node->kind;
  if (core::HasOperandPair(kind)) {
    pending.Push(static_cast<ExprNode*>(node->right));
    pending.Push(static_cast<ExprNode*>(node->left));
    return;
  }
  if (kind == NK_FUNCTION || kind == NK_FORMULAREF || kind == NK_SET) PushListAndFree(pending, node->right);
  bool ownsValue = kind == NK_NUMBER || kind == NK_ITEM || kind == NK_STRING || kind == NK_DATE ||
                   kind == NK_FUNCTION || kind == NK_FORMULAREF;
  if (ownsValue) ReleaseNodeValue(node);
}

}  // namespace

void ReleaseNodeValue(ExprNode* node) {
  if (node->block != nullptr) {
    ReleaseBlockValue(node->left);
  } else {
    HostFree(node->left);
  }
  node->left = nullptr;
}

void RenameNode(ExprNode* node, void* name) {
  const size_t bytes = std::strlen(static_cast<const char*>(name)) + 1;
  if (node->block != nullptr && node->left != nullptr && bytes <= BlockValueCapacity(node->left)) {
    std::memcpy(node->left, name, bytes);
    DropNodeName(node, name);
    return;
  }
  BreakSeal(node);  // the new name lies outside the tree's blocks
  ReleaseNodeValue(node);
  node->left = name;
}

void DropNodeName(const ExprNode* node, void* name) {
  if (node->block != nullptr) {
    ReleaseBlockValue(name);
  } else {
    HostFree(name);
  }
}

void ReleaseTree(ExprContext* /*ec*/, ExprNode* node) {
  if (node != nullptr && ReleaseSealedTree(node)) return;
  PendingNodes pending;
  pending.Push(node);
  while (ExprNode* next = pending.Pop()) {
    ReleaseOwnedParts(pending, next);
    FreeNode(next);
  }
}

}  // namespace xev::language
