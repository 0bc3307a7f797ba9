// The node blocks a parse takes its nodes and token values from, and the
// sealing that lets a whole tree go back to the host block by block.
#include <cstring>

#include "host/host.h"
#include "language/tree_build_state.h"

namespace xev::language {

constinit thread_local NodeBlock* t_openBlock = nullptr;

namespace {

// With the header, the largest of the host's recycled block sizes: room for
// the tree of a typical formula of fifty bytes. A parse makes at most one
// node and one value per token and one node more, and a token takes at least
// a byte, so short texts get a smaller first block.
constexpr uint32_t kBlockBytes = host::kLargestRecycledBlock - sizeof(NodeBlock);
constexpr uint32_t kGrain = 8;
// In front of a value: how far its block begins before it, and how many
// bytes it may hold (a renamed item's name goes there when it fits).
struct ValueHeader {
  uint32_t blockOffset;
  uint32_t capacity;
};
constexpr uint32_t kValueHeader = sizeof(ValueHeader);
constexpr uint32_t kLargestSmallValue = kValueHeader + 16;  // a number, or a short name

uint32_t FirstBlockBytes() {
  constexpr uint32_t kMostPerByte = sizeof(ExprNode) + kLargestSmallValue;
  // Any longer text may need a whole block: its bytes are counted no further.
  constexpr uint32_t kCounted = kBlockBytes / kMostPerByte + 1;
  const auto length = static_cast<uint32_t>(strnlen(ScannedText(), kCounted));
  const uint32_t most = (length + 1) * kMostPerByte;
  return most < kBlockBytes ? most : kBlockBytes;
}

uint32_t Rounded(uint32_t bytes) { return (bytes + kGrain - 1) / kGrain * kGrain; }

}  // namespace

[[gnu::noinline]] NodeBlock* OpenBlock(uint32_t bytes) {
  uint32_t capacity = t_parser.newestBlock != nullptr ? kBlockBytes : FirstBlockBytes();
  if (capacity < bytes) capacity = bytes;
  // Not zero-filled: the header is written here, and every node and value
  // taken from the block is written in full before anything reads it.
  auto* fresh = static_cast<NodeBlock*>(host::AllocateUnclearedBlock(sizeof(NodeBlock) + capacity));
  if (fresh == nullptr) return nullptr;
  CloseNodeBlock();  // a full block now belongs to what it holds alone
  *fresh = NodeBlock{};
  fresh->capacity = capacity;
  fresh->open = 1;
  fresh->previous = t_parser.newestBlock;
  t_openBlock = fresh;
  t_parser.newestBlock = fresh;
  return fresh;
}

void GiveBack(NodeBlock* block) {
  t_parser.gaveBack = true;
  if (--block->live == 0 && block->open == 0) HostFree(block);
}


static_assert(sizeof(ExprNode) % kGrain == 0);

ExprNode* AllocateNode() {
  NodeBlock* block = nullptr;
  auto* node = static_cast<ExprNode*>(TakeFromBlock(sizeof(ExprNode), &block));
  if (node == nullptr) return nullptr;
  *node = ExprNode{};
  node->block = block;
  return node;
}

void FreeNode(ExprNode* node) {
  auto* block = static_cast<NodeBlock*>(node->block);
  if (block == nullptr) {
    HostFree(node);
    return;
  }
  GiveBack(block);
}

namespace {

ValueHeader HeaderOf(const void* value) {
  ValueHeader header;
  std::memcpy(&header, static_cast<const char*>(value) - kValueHeader, sizeof header);
  return header;
}

}  // namespace

void* AllocateValue(uint32_t bytes) {
  NodeBlock* block = nullptr;
  const uint32_t taken = Rounded(kValueHeader + bytes);
  auto* at = static_cast<char*>(TakeFromBlock(taken, &block));
  if (at == nullptr) return nullptr;
  char* value = at + kValueHeader;
  const ValueHeader header{static_cast<uint32_t>(value - reinterpret_cast<char*>(block)), taken - kValueHeader};
  std::memcpy(at, &header, sizeof header);
  return value;
}

void ReleaseBlockValue(void* value) {
  if (value == nullptr) return;
  GiveBack(reinterpret_cast<NodeBlock*>(static_cast<char*>(value) - HeaderOf(value).blockOffset));
}

uint32_t BlockValueCapacity(const void* value) { return HeaderOf(value).capacity; }

void* NewNodeName(const ExprNode* node, const char* name) {
  const auto bytes = static_cast<uint32_t>(std::strlen(name) + 1);
  if (node->block == nullptr) {
    auto* copy = static_cast<char*>(HostAlloc(bytes));
    if (copy != nullptr) std::memcpy(copy, name, bytes);
    return copy;
  }
  // A closed block of its own, which goes back to the host with the name.
  const uint32_t taken = Rounded(kValueHeader + bytes);
  auto* block = static_cast<NodeBlock*>(HostAlloc(sizeof(NodeBlock) + taken));
  if (block == nullptr) return nullptr;
  *block = NodeBlock{};
  block->live = 1;
  block->used = block->capacity = taken;
  char* at = reinterpret_cast<char*>(block + 1);
  const ValueHeader header{static_cast<uint32_t>(at + kValueHeader - reinterpret_cast<char*>(block)),
                           taken - kValueHeader};
  std::memcpy(at, &header, sizeof header);
  std::memcpy(at + kValueHeader, name, bytes);
  return at + kValueHeader;
}

void SealParsedTree(const ExprNode* root) {
  NodeBlock* newest = t_parser.newestBlock;
  if (root == nullptr || t_parser.gaveBack || root->block != newest) return;
  for (NodeBlock* block = newest; block != nullptr; block = block->previous) block->newest = newest;
  newest->sealed = root;
  newest->sealedWithLists = t_parser.madeList ? 1 : 0;
}

void BreakSeal(const ExprNode* node) {
  auto* block = static_cast<NodeBlock*>(node->block);
  if (block != nullptr && block->newest != nullptr) block->newest->sealed = nullptr;
}

namespace {

// Frees the argument and element lists of a sealed tree. Its nodes all go
// back with their blocks, so each one reached is free to hold the link to the
// next one pending, and the walk needs neither recursion nor memory.
void ReleaseListsOfSealedTree(ExprNode* root) {
  ExprNode* pending = nullptr;
  const auto push = [&pending](void* child) {
    auto* node = static_cast<ExprNode*>(child);
    if (node == nullptr) return;
    node->reserved = reinterpret_cast<uintptr_t>(pending);
    pending = node;
  };
  push(root);
  while (ExprNode* node = pending) {
    pending = reinterpret_cast<ExprNode*>(node->reserved);
    if (IsOperatorKind(node->kind) || node->kind == NK_RANGE) {
      push(node->left);
      push(node->right);
      continue;
    }
    const bool holdsList = node->kind == NK_FUNCTION || node->kind == NK_FORMULAREF || node->kind == NK_SET;
    if (!holdsList || node->right == nullptr) continue;
    const auto list = static_cast<HGLOBAL>(node->right);
    uint32_t count = 0;
    auto** nodes = static_cast<ExprNode**>(core::HandleArrayLockAll(list, &count));
    for (uint32_t i = 0; i < count; ++i) push(nodes[i]);
    if (nodes != nullptr) core::HandleArrayUnlock(list);
    core::HandleArrayFree(list);
  }
}

}  // namespace

bool ReleaseSealedTree(const ExprNode* root) {
  auto* block = static_cast<NodeBlock*>(root->block);
  if (block == nullptr || block->sealed != root) return false;
  if (block->sealedWithLists != 0) ReleaseListsOfSealedTree(const_cast<ExprNode*>(root));
  while (block != nullptr) {
    NodeBlock* previous = block->previous;
    HostFree(block);
    block = previous;
  }
  return true;
}

void CloseNodeBlock() {
  NodeBlock* block = t_openBlock;
  if (block == nullptr) return;
  t_openBlock = nullptr;
  block->open = 0;
  if (block->live == 0) HostFree(block);
}

}  // namespace xev::language
