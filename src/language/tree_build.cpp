// Node construction and the checks made while a tree is built: name
// resolution, constants, operator admission and typing, date units, calls
// with their arity and argument rules, sets and ranges. Every failing check
// records an error and releases what the production was given.
//
// Error spans: a check that knows no better span records length 0 and the
// production fills in the span of its operator, quantifier or function token.
#include "language/tree_build.h"

#include <algorithm>
#include <cstring>

#include "core/expressions.h"
#include "core/item_index.h"
#include "eval/eval.h"
#include "host/host.h"
#include "xev/xev.h"

namespace xev::language {

using core::HGLOBAL;

namespace {

// The parser's own share of the parse state; the scanner keeps the rest.
struct NodeBlock;
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
thread_local ParserState t_parser;  // one per thread, like the scanner's

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

thread_local NodeBlock* t_openBlock = nullptr;

uint32_t FirstBlockBytes() {
  constexpr uint32_t kMostPerByte = sizeof(ExprNode) + kLargestSmallValue;
  // Any longer text may need a whole block: its bytes are counted no further.
  constexpr uint32_t kCounted = kBlockBytes / kMostPerByte + 1;
  const auto length = static_cast<uint32_t>(strnlen(ScannedText(), kCounted));
  const uint32_t most = (length + 1) * kMostPerByte;
  return most < kBlockBytes ? most : kBlockBytes;
}

uint32_t Rounded(uint32_t bytes) { return (bytes + kGrain - 1) / kGrain * kGrain; }

// Opens a block for at least bytes; nullptr when memory is short.
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

void GiveBack(NodeBlock* block) {
  t_parser.gaveBack = true;
  if (--block->live == 0 && block->open == 0) HostFree(block);
}

constexpr uint32_t kErrTypeNum = 100;
constexpr uint32_t kErrParm = 101;
constexpr uint32_t kErrVar = 102;
constexpr uint32_t kErrFunc = 103;
constexpr uint32_t kErrNumParmsHi = 105;
constexpr uint32_t kErrGeneral = 106;
constexpr uint32_t kErrSyntax = 109;
constexpr uint32_t kErrUnknownChar = 110;
constexpr uint32_t kErrOperatorNum = 111;
constexpr uint32_t kErrMaxToken = 112;
constexpr uint32_t kErrOperatorStr = 113;
constexpr uint32_t kErrOperatorDate = 114;
constexpr uint32_t kErrTypeStr = 115;
constexpr uint32_t kErrNumParmsLo = 117;
constexpr uint32_t kErrParmNum = 118;
constexpr uint32_t kErrParmStr = 119;
constexpr uint32_t kErrParmDate = 120;
constexpr uint32_t kErrMemory = 121;
constexpr uint32_t kErrTooComplex = 122;
constexpr uint32_t kErrInvalidDate = 123;
constexpr uint32_t kErrExpParms = 124;
constexpr uint32_t kErrTypeNumDate = 128;
constexpr uint32_t kErrKeyword = 129;
constexpr uint32_t kErrMissingKeyword = 130;
constexpr uint32_t kErrOperatorKeyword = 132;
constexpr uint32_t kErrParmKeyword = 133;
constexpr uint32_t kErrBetween = 135;
constexpr uint32_t kErrEmbeddedRange = 136;
constexpr uint32_t kErrSubclass = 137;

// Whole-formula errors are marked over a span long enough for any text.
constexpr uint32_t kWholeTextLength = 1000;

constexpr int16_t kNumber = XEV_TYPE_NUMBER;
constexpr int16_t kDateTime = XEV_TYPE_DATETIME;
constexpr int16_t kString = XEV_TYPE_STRING;

void SetError(uint32_t code, uint32_t pos, uint32_t len) { ParseError() = ExprError{code, pos, len}; }
void SetErrorAt(uint32_t code, const ExprNode* node) { SetError(code, node->pos, node->len); }

ExprNode* AsNode(const ParseValue& value) { return static_cast<ExprNode*>(value.value); }
const char* NodeName(const ExprNode* node) { return static_cast<const char*>(node->left); }

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

void Release(ExprNode* node) { ReleaseTree(ScanContext(), node); }

// The most recently scanned real token: the end token keeps its span.
const TokenValue& LastToken() { return CurrentToken(); }

const ExpItem* DataItemNamed(const char* name) {
  if (name == nullptr) return nullptr;
  if (t_parser.items == nullptr) return core::FindDataItem(ScanContext(), name);
  return core::item_index::FindIn(t_parser.items, core::item_index::kData, name);
}

const ExpItem* FunctionNamed(const char* name) {
  if (name == nullptr) return nullptr;
  if (t_parser.items == nullptr) return core::FindFunctionItem(ScanContext(), name);
  return core::item_index::FindIn(t_parser.items, core::item_index::kFunctions, name);
}

bool IsSetOrRange(const ExprNode* node) { return node->kind == NK_SET || node->kind == NK_RANGE; }

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

// ---- Leaves --------------------------------------------------------------------

bool HasQuoteEscape(const char* text) {
  for (const char* p = text; *p != '\0'; p = platform::CharNextA(p)) {
    if ((p[0] == '\\' || p[0] == '\'') && p[1] == '\'') return true;
  }
  return false;
}

bool TypeLeaf(ExprNode* node) {
  ExprContext* ec = ScanContext();
  switch (node->kind) {
    case NK_NUMBER:
      node->type = kNumber;
      return true;
    case NK_STRING:
      node->type = kString;
      if (HasQuoteEscape(NodeName(node))) node->flags = kStringEscaped;
      return true;
    case NK_DATE: {
      NumberValue date{};
      if (eval::DateFromText(&date, NodeName(node)) != 0) {
        node->type = kDateTime;
        return true;
      }
      node->type = -1;
      SetErrorAt(kErrInvalidDate, node);
      return false;
    }
    case NK_ITEM: {
      const ExpItem* dataItem = DataItemNamed(NodeName(node));
      int32_t type = dataItem != nullptr ? dataItem->dataType : -1;
      if (type == -1) type = core::KeywordItemType(ec, NodeName(node));
      node->type = static_cast<int16_t>(type);
      if (type != -1 || NameCheckMode()) return true;
      SetErrorAt(kErrVar, node);
      return false;
    }
    default:
      return true;
  }
}

// ---- Operators -------------------------------------------------------------------

char OperatorCharacter(uint32_t kind) { return kind == NK_CONCAT ? '|' : static_cast<char>(kind); }

uint32_t OperatorRefusal(int32_t leftType) {
  switch (leftType) {
    case kNumber: return kErrOperatorNum;
    case kDateTime: return kErrOperatorDate;
    case kString: return kErrOperatorStr;
    default: return kErrOperatorKeyword;
  }
}

bool CheckOperator(ExprNode* node) {
  ExprContext* ec = ScanContext();
  const auto* left = static_cast<const ExprNode*>(node->left);
  const auto* right = static_cast<const ExprNode*>(node->right);
  if (IsSetOrRange(left)) {
    SetErrorAt(kErrEmbeddedRange, left);
    return false;
  }
  if (IsSetOrRange(right)) {
    SetErrorAt(kErrEmbeddedRange, right);
    return false;
  }
  int32_t leftType = left->type;
  int32_t rightType = right->type;
  char op = OperatorCharacter(node->kind);
  // The operator table has no slot for a failed (negative) type.
  const bool admitted = (leftType == kNumber && core::NumberTakesOperatorAlways(op)) ||
                        (leftType >= 0 && core::OperatorAdmitted(ec, op, leftType) != 0);
  if (!admitted) {
    SetError(OperatorRefusal(leftType), 0, 0);
    return false;
  }
  int32_t type = leftType;
  if (leftType == kDateTime && op == '+') {
    if (rightType != kNumber) {
      SetErrorAt(kErrTypeNum, right);
      return false;
    }
  } else if (leftType == kDateTime && op == '-') {
    if (rightType == kNumber) {
      type = kDateTime;
    } else if (rightType == kDateTime) {
      type = kNumber;
    } else if (rightType == kString && (ec->flags & ECF_DATE_MINUS_STRING) != 0) {
      type = kNumber;
    } else {
      SetErrorAt(kErrTypeNumDate, right);
      return false;
    }
  } else if (rightType != leftType) {
    // Other left types fail without a code of their own.
    if (leftType == kNumber) SetErrorAt(kErrTypeNum, right);
    if (leftType == kString) SetErrorAt(kErrTypeStr, right);
    return false;
  }
  node->type = static_cast<int16_t>(type);
  if (node->flags != 0) {
    bool dateStep = leftType == kDateTime && (op == '+' || op == '-') && rightType == kNumber;
    if (!dateStep) {
      SetError(kErrKeyword, 0, 0);
      return false;
    }
  }
  return true;
}

// ---- Calls -------------------------------------------------------------------------

struct CallSite {
  ExprNode* node;
  HGLOBAL args;
  uint16_t callFlags;
  uint16_t quantifier;
};

bool ResolveFormulaReference(CallSite& call) {
  HEXP formula = XEVHEXPFromName(ScanContext(), NodeName(call.node));
  if (formula == nullptr) {
    SetError(kErrFunc, 0, 0);
    return false;
  }
  if (formula->root != nullptr && IsSetOrRange(formula->root)) {
    SetError(kErrEmbeddedRange, 0, 0);
    return false;
  }
  call.node->kind = NK_FORMULAREF;
  t_parser.madeFormulaReference = true;
  call.node->type = static_cast<int16_t>(formula->dataType);
  if (call.args != nullptr || (call.callFlags & (kCallStar | kCallQuantifier)) != 0) {
    SetError(kErrExpParms, 0, 0);
    return false;
  }
  return true;
}

// The function's parameter entries, read safely: an entry past those the
// record holds accepts anything.
class Parameters {
 public:
  explicit Parameters(const ExpItem* item)
      : item_(item), available_(item->paramCount > 0 ? item->paramCount : (item->paramCount < 0 ? 1 : 0)) {}
  int32_t Type(int32_t p) const { return Has(p) ? item_->params[p].type : XEV_TYPE_ANY; }
  bool ByName(int32_t p) const { return Has(p) && item_->params[p].byName == 1; }
  int32_t Subclass(int32_t p) const { return Has(p) ? item_->params[p].subclass : 0; }

 private:
  bool Has(int32_t p) const { return p >= 0 && p < available_; }
  const ExpItem* item_;
  int32_t available_;
};

uint32_t ArgumentTypeError(int32_t expected) {
  switch (expected) {
    case kNumber: return kErrParmNum;
    case kDateTime: return kErrParmDate;
    case kString: return kErrParmStr;
    default: return kErrParmKeyword;
  }
}

// The expected type and parameter index of argument i. Parameters from A on
// form a group that repeats; type 4 in the group stands for the type of the
// leading argument or of the matching argument of the first group.
void ExpectedArgument(const ExpItem* item, const Parameters& params, const LockedNodes& args, int32_t i,
                      int32_t* parameter, int32_t* expected) {
  const int32_t P = item->paramCount;
  const int32_t A = item->subclass;
  const int32_t n = args.count();
  auto argType = [&args, n](int32_t k) -> int32_t { return k >= 0 && k < n ? args[k]->type : XEV_TYPE_ANY; };
  if (A == 0 || i < A) {
    *parameter = i;
    *expected = params.Type(i);
  } else if (i == A) {
    *parameter = A;
    *expected = P - A > 1 ? argType(A - 1) : params.Type(A);
  } else if (A >= P - 1) {
    *parameter = A;
    *expected = params.Type(A);
    if (*expected == XEV_TYPE_MATCHING) *expected = argType(A);
  } else {
    int32_t j = (i - A) % (P - A);
    if (j == 0 && i == n - 1) j = 1;
    int32_t p = A + j;
    *parameter = p;
    *expected = params.Type(p);
    if (*expected == XEV_TYPE_MATCHING) {
      if (j == 0) {
        *expected = argType(A - 1);
      } else if (i >= P) {
        *expected = argType(p);
      }
    }
  }
}

bool CheckArguments(const CallSite& call, const ExpItem* item) {
  Parameters params(item);
  LockedNodes args(call.args);
  for (int32_t i = 0; i < args.count(); ++i) {
    const ExprNode* arg = args[i];
    int32_t p = 0;
    int32_t expected = 0;
    ExpectedArgument(item, params, args, i, &p, &expected);
    if (arg->type != expected && expected != XEV_TYPE_MATCHING && expected != XEV_TYPE_ANY) {
      SetErrorAt(ArgumentTypeError(expected), arg);
      return false;
    }
    if (!params.ByName(p)) continue;
    if (arg->kind != NK_ITEM) {
      bool anyExpression = (item->flags & XEV_FN_ANY_BY_NAME) != 0 ||
                           ((item->flags & XEV_FN_ANY_BY_NAME_UNLESS_DISTINCT) != 0 && call.quantifier != QU_DISTINCT);
      if (!anyExpression) {
        SetErrorAt(kErrParm, arg);
        return false;
      }
      continue;
    }
    int32_t subclass = params.Subclass(p);
    if (subclass == 0) continue;
    const ExpItem* dataItem = DataItemNamed(NodeName(arg));
    if (dataItem != nullptr && dataItem->subclass != subclass) {
      SetErrorAt(kErrSubclass, arg);
      return false;
    }
  }
  return true;
}

// A result type of 4 follows the arguments: the last one's type, or for a
// keyword-typed first argument the type an aggregate over that keyword yields.
int32_t MatchingResultType(const CallSite& call) {
  LockedNodes args(call.args);
  if (args.count() == 0) return -1;
  const ExprNode* first = args[0];
  if (first->type < 256) return args[args.count() - 1]->type;
  bool named = first->kind == NK_ITEM || first->kind == NK_FUNCTION || first->kind == NK_FORMULAREF;
  return named ? core::KeywordItemSubclass(ScanContext(), NodeName(first)) : -1;
}

bool CheckFunctionCall(CallSite& call, const ExpItem* item) {
  const int32_t P = item->paramCount;
  const int32_t A = item->subclass;
  const int32_t B = item->subclass2;
  const uint16_t functionFlags = item->flags;
  const bool quantified = (call.callFlags & kCallQuantifier) != 0;
  const bool star = (call.callFlags & kCallStar) != 0;
  call.node->type = item->dataType;

  if (quantified && (functionFlags & (XEV_FN_DISTINCT | XEV_FN_ALL | XEV_FN_DISTINCT_REQUIRED)) == 0) {
    SetError(kErrKeyword, 0, 0);
    return false;
  }
  if ((functionFlags & XEV_FN_DISTINCT_REQUIRED) != 0 && ((!quantified && !star) || call.quantifier == QU_ALL)) {
    SetError(kErrMissingKeyword, 0, 0);
    return false;
  }
  if (call.args == nullptr) {
    if (P == 0 && star) {
      SetError(kErrSyntax, 0, 0);
      return false;
    }
    if (P > 0 && star && Parameters(item).Type(0) != XEV_TYPE_ANY) {
      SetError(kErrSyntax, 0, 0);
      return false;
    }
    if (P > 0 && !star && !(A == 0 && B != 0)) {
      SetError(kErrNumParmsLo, 0, 0);
      return false;
    }
  } else {
    int32_t arity = core::CheckArity(static_cast<int32_t>(core::HandleArrayCount(call.args)), item);
    if (arity != 0) {
      SetError(arity < 0 ? kErrNumParmsLo : kErrNumParmsHi, 0, 0);
      return false;
    }
    if (!CheckArguments(call, item)) return false;
  }
  if (item->dataType == XEV_TYPE_MATCHING) {
    int32_t type = MatchingResultType(call);
    call.node->type = static_cast<int16_t>(type);
    if (type == -1) return false;
  }
  return true;
}

bool ResolveCall(CallSite& call) {
  const ExpItem* item = FunctionNamed(NodeName(call.node));
  if (item != nullptr && item->dataType != -1) return CheckFunctionCall(call, item);
  return ResolveFormulaReference(call);
}

}  // namespace

// ---- Node storage ----------------------------------------------------------------------

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

// ---- Parser state --------------------------------------------------------------------

void ParserBegin() {
  t_parser = ParserState{};
  t_parser.items = core::item_index::CurrentIndex(ScanContext());
}

void ReportParserMessage(const char* message) {
  ExprError& error = ParseError();
  if (error.code == kErrMaxToken || error.code == kErrMemory) return;
  uint32_t code = kErrGeneral;
  if (std::strcmp(message, "syntax error") == 0) code = kErrSyntax;
  if (std::strcmp(message, "memory exhausted") == 0) code = kErrTooComplex;
  uint32_t offset = CurrentOffset();
  uint32_t length = std::min(LastToken().len, offset);
  uint32_t pos = offset - length;
  // At the end of a text the read-ahead has gone past the virtual blank, and
  // the span by that rule with it; hosts mark spans in their own copy of the
  // text, so it ends within the text and that blank, as the scanner's own
  // error spans do.
  uint32_t limit = ScannedTextLength() + 1;
  if (pos > limit) pos = limit;
  if (pos + length > limit) length = limit - pos;
  error = ExprError{code, pos, length};
}

ExprNode*& PendingRoot() { return t_parser.root; }

bool ParsedTreeHasFormulaReference() { return t_parser.madeFormulaReference; }

// ---- Actions ------------------------------------------------------------------------------

bool MakeLeaf(ParseValue& out, const ParseValue& token, NodeKind kind) {
  // The value comes from the node blocks: the grammar runs inside ParseTokens only.
  ExprNode* node = NewNode(kind, token.pos, token.len, token.value);
  if (node == nullptr) {
    ReleaseTokenValue(token.value);
    SetError(kErrMemory, 0, 0);
    return false;
  }
  if (node->left == nullptr) {  // the scanner always gives a value; stay safe without one
    Release(node);
    SetError(kErrMemory, 0, 0);
    return false;
  }
  if (!TypeLeaf(node)) {
    Release(node);
    return false;
  }
  out.value = node;
  return true;
}

bool MakeNegativeNumber(ParseValue& out, const ParseValue& number) {
  if (!MakeLeaf(out, number, NK_NUMBER)) return false;
  NumberNegate(static_cast<NumberValue*>(AsNode(out)->left));
  return true;
}

bool MakeOperator(ParseValue& out, const ParseValue& left, const ParseValue& op, const ParseValue& right,
                  NodeKind kind, bool withDateUnit) {
  const TokenValue& last = LastToken();
  ExprNode* node = NewNode(kind, last.pos, last.len, left.value, right.value);
  if (node == nullptr) {
    Release(AsNode(left));
    Release(AsNode(right));
    ClearPendingDateUnit();
    SetError(kErrMemory, 0, 0);
    return false;
  }
  node->flags = PendingDateUnit();
  ClearPendingDateUnit();
  if (!CheckOperator(node)) {
    node->type = -1;
    ExprError& error = ParseError();
    if (error.len == 0) {
      uint32_t pos = op.pos;
      uint32_t len = op.len;
      if (withDateUnit && error.code == kErrKeyword) {
        pos = LastToken().pos;
        len = LastToken().len;
      } else if (withDateUnit) {
        pos = right.pos;
        len = right.len;
      }
      error.pos = pos;
      error.len = len;
    }
    Release(node);
    return false;
  }
  out.value = node;
  return true;
}

bool MakeCall(ParseValue& out, const ParseValue& function, const ParseValue* marker, const ParseValue* args,
              CallForm form) {
  CallSite call{};
  call.args = args != nullptr ? static_cast<HGLOBAL>(args->value) : nullptr;
  if (function.value == nullptr) {  // the scanner always gives a name; stay safe without one
    ReleaseNodeList(call.args);
    SetError(kErrMemory, 0, 0);
    return false;
  }
  if (form == CallForm::kStar) call.callFlags = kCallStar;
  if (form == CallForm::kQuantifierEmpty || form == CallForm::kQuantifierArgs) {
    call.callFlags = kCallQuantifier;
    call.quantifier = TakePendingQuantifier();
  }
  call.node = NewNode(NK_FUNCTION, function.pos, function.len);
  if (call.node == nullptr) {
    ReleaseTokenValue(function.value);
    ReleaseNodeList(call.args);
    SetError(kErrMemory, 0, 0);
    return false;
  }
  call.node->left = function.value;
  call.node->right = call.args;
  call.node->flags = call.callFlags;
  if (form != CallForm::kNiladic) call.node->endPos = LastToken().pos;
  if (!ResolveCall(call)) {
    call.node->type = -1;
    ExprError& error = ParseError();
    if (error.len == 0) {
      bool atMarker = marker != nullptr && ((form == CallForm::kStar && error.code == kErrSyntax) ||
                                            (form != CallForm::kStar &&
                                             (error.code == kErrKeyword || error.code == kErrMissingKeyword)));
      const ParseValue& at = atMarker ? *marker : function;
      error.pos = at.pos;
      error.len = at.len;
    }
    Release(call.node);
    return false;
  }
  out.value = call.node;
  return true;
}

bool StartList(ParseValue& out, const ParseValue& expr) {
  t_parser.madeList = true;
  HGLOBAL list = core::HandleArrayCreate(core::kSlotSize, 1);
  if (list == nullptr) {
    Release(AsNode(expr));
    SetError(kErrMemory, 0, 0);
    return false;
  }
  *static_cast<ExprNode**>(core::HandleArrayLockElement(list, 0)) = AsNode(expr);
  core::HandleArrayUnlock(list);
  out.value = list;
  return true;
}

bool AppendToList(ParseValue& out, const ParseValue& list, const ParseValue& expr) {
  HGLOBAL grown = core::HandleArrayAppend(static_cast<HGLOBAL>(list.value));
  if (grown == nullptr) {
    ReleaseNodeList(list.value);
    Release(AsNode(expr));
    SetError(kErrMemory, 0, 0);
    return false;
  }
  int32_t last = static_cast<int32_t>(core::HandleArrayCount(grown)) - 1;
  *static_cast<ExprNode**>(core::HandleArrayLockElement(grown, last)) = AsNode(expr);
  core::HandleArrayUnlock(grown);
  out.value = grown;
  return true;
}

bool FinishFormula(const ParseValue& expr) {
  ExprNode* node = AsNode(expr);
  if (node->type > 255) {
    SetError(kErrKeyword, 0, kWholeTextLength);
    Release(node);
    return false;
  }
  t_parser.root = node;
  return true;
}

bool FinishSet(const ParseValue& list) {
  auto elements = static_cast<HGLOBAL>(list.value);
  int32_t type = core::CheckSetElements(ScanContext(), elements, &ParseError());
  ExprNode* node = nullptr;
  if (type != -1) {
    node = NewNode(NK_SET, 0, 0);
    if (node == nullptr) SetError(kErrMemory, 0, 0);
  }
  if (node == nullptr) {
    ReleaseNodeList(elements);
    return false;
  }
  node->type = static_cast<int16_t>(type);
  node->right = elements;
  t_parser.root = node;
  return true;
}

bool FinishRange(const ParseValue& low, const ParseValue& high) {
  ExprNode* lowNode = AsNode(low);
  ExprNode* highNode = AsNode(high);
  ExprNode* node = nullptr;
  if ((ScanContext()->flags & ECF_RANGES_SETS) == 0) {
    SetError(kErrSyntax, 0, 0);
  } else if (lowNode->type != highNode->type) {
    SetErrorAt(kErrBetween, highNode);
  } else {
    node = NewNode(NK_RANGE, 0, 0);
    if (node == nullptr) SetError(kErrMemory, 0, 0);
  }
  if (node == nullptr) {
    Release(highNode);
    Release(lowNode);
    return false;
  }
  node->type = lowNode->type;
  node->left = lowNode;
  node->right = highNode;
  t_parser.root = node;
  return true;
}

void ReportNoMemoryToken() { SetError(kErrMemory, 0, 0); }

void ReportBadCharacter(const ParseValue& token) { SetError(kErrUnknownChar, token.pos, token.len); }

void ReleaseNodeList(void* list) {
  auto handle = static_cast<HGLOBAL>(list);
  if (handle == nullptr) return;
  {
    LockedNodes nodes(handle);
    for (int32_t i = 0; i < nodes.count(); ++i) Release(nodes[i]);
  }
  core::HandleArrayFree(handle);
}

}  // namespace xev::language
