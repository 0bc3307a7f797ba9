// Loads a stored block of any version into a context: the operator callback
// names, the data items (widening the old record images), then the formulas.
// A block is the host's document data and may be damaged: every read is
// bounded by the block's length, and a load that stops keeps what it loaded.
#include <cstring>

#include "core/core.h"
#include "core/handle_array.h"
#include "persist/block_loader.h"
#include "persist/load_fix.h"
#include "xev/xev.h"

namespace xev::persist {
namespace {

constexpr int32_t kOldestVersion = 0;
constexpr const char* kAverageFunctionName = "ReportAverage";

char* CopyString(const char* s, int32_t length) {
  auto* copy = static_cast<char*>(HostAlloc(static_cast<size_t>(length) + 1));
  if (copy != nullptr) std::memcpy(copy, s, static_cast<size_t>(length) + 1);
  return copy;
}

// ---- Operator callback names -------------------------------------------------

void StoreOperatorName(ExprContext* ec, int32_t slot, const char* name, int32_t length, BlockCursor& cursor) {
  OperatorEntry& op = ec->operators[slot / kOperatorSlots];
  int32_t type = slot % kOperatorSlots;
  char* copy = CopyString(name, length);
  if (copy == nullptr) {
    cursor.Fail();
    return;
  }
  HostFree(op.names[type]);
  op.names[type] = copy;
  if (ec->resolveCallback == nullptr) return;
  op.bound[type] = ec->resolveCallback(copy);
  if (op.bound[type] != 0) return;
  HostFree(copy);
  op.names[type] = nullptr;
  cursor.Fail();
}

void LoadOperatorNames(BlockLoad& load) {
  for (int32_t slot = 0; slot < kOperatorNameCount && load.cursor.Ok(); ++slot) {
    // The block may end right after the last name; before it, something must follow.
    Follow follow = slot + 1 < kOperatorNameCount ? Follow::kMore : Follow::kMayEnd;
    int32_t length = 0;
    const char* name = load.cursor.TakeString(follow, &length);
    // An empty name leaves its slot alone. A name read whole is stored even
    // when the block ends too early after it; the load still fails.
    if (name == nullptr || length == 0) continue;
    StoreOperatorName(load.ec, slot, name, length, load.cursor);
  }
}

// ---- Data items ----------------------------------------------------------------

int32_t ImageSize(int32_t version) {
  if (version == 0) return kOldImageSizeV0;
  if (version == 1) return kOldImageSizeV1;
  return kItemImageSize;
}

// The current image copies across field by field. Stored addresses are never
// taken over: they belonged to the process that wrote the block, and the
// resolve callback gives the bound values of this one.
void ReadCurrentImage(const unsigned char* image, ExpItem* item) {
  item->kind = GetI16(image + kImageKind);
  item->dataType = GetI16(image + kImageDataType);
  std::memcpy(item->name, image + kImageName, kImageNameSize);
  item->name[kImageNameSize - 1] = 0;  // lookups need a terminator, which a damaged field may lack
  item->paramCount = GetI16(image + kImageParamCount);
  item->subclass = GetI16(image + kImageSubclass);
  item->subclass2 = GetI16(image + kImageSubclass2);
  item->flags = GetU16(image + kImageFlags);
}

// The old images have a 40-byte name field; version 1 adds the three short
// fields that version 0 lacked. The oldest names may collide with the
// date-part keywords that came later, which XEVInputNameIsKeyword prefixes.
void ReadOldImage(BlockLoad& load, const unsigned char* image, ExpItem* item) {
  item->kind = GetI16(image + kImageKind);
  item->dataType = GetI16(image + kImageDataType);
  char oldName[kOldImageNameSize + 1];
  std::memcpy(oldName, image + kOldImageName, kOldImageNameSize);
  oldName[kOldImageNameSize] = 0;  // a damaged field may lack its terminator
  if (load.version == 0) {
    if (XEVInputNameIsKeyword(item->name, oldName) != 0) load.keywordRenamed = true;
  } else {
    std::memcpy(item->name, oldName, sizeof oldName);
  }
  item->paramCount = GetI16(image + kOldImageParamCount);
  if (load.version == 0) return;
  item->subclass = GetI16(image + kOldImageSubclass);
  item->subclass2 = GetI16(image + kOldImageSubclass2);
  item->flags = GetU16(image + kOldImageFlags);
}

// Adds an empty slot at the end of the data item list; false when memory is short.
bool AddDataItemSlot(ExprContext* ec) {
  core::HGLOBAL grown = ec->dataItems == nullptr ? core::HandleArrayCreate(core::kSlotSize, 1)
                                                 : core::HandleArrayAppend(ec->dataItems);
  if (grown == nullptr) return false;
  ec->dataItems = grown;
  core::NoteContextChange(ec);
  return true;
}

void StoreInLastSlot(ExprContext* ec, ExpItem* item) {
  int32_t last = static_cast<int32_t>(core::HandleArrayCount(ec->dataItems)) - 1;
  auto* slot = static_cast<ExpItem**>(core::HandleArrayLockElement(ec->dataItems, last));
  *slot = item;
  core::HandleArrayUnlock(ec->dataItems);
}

ExpItem* StoreDataItem(BlockLoad& load, const unsigned char* image) {
  ExpItem fields{};
  if (load.version >= 2) {
    ReadCurrentImage(image, &fields);
  } else {
    ReadOldImage(load, image, &fields);
  }
  // The kind is carried as stored, so the record gets the size the engine
  // gives a record of that kind (copies of the context copy that many bytes),
  // and never less than a whole ExpItem, which the fields were read into.
  size_t size = static_cast<size_t>(core::StoredItemSize(&fields));
  if (size < sizeof(ExpItem)) size = sizeof(ExpItem);
  auto* item = static_cast<ExpItem*>(HostAlloc(size));
  if (item == nullptr) return nullptr;
  std::memcpy(item, &fields, sizeof(ExpItem));
  StoreInLastSlot(load.ec, item);
  return item;
}

void BindDataItem(BlockLoad& load, ExpItem* item, const char* bindingName, int32_t length) {
  char* copy = CopyString(bindingName, length);
  if (copy == nullptr) {
    load.cursor.Fail();
    return;
  }
  item->bindingName = copy;
  if (load.ec->resolveCallback == nullptr) return;
  item->boundValue = load.ec->resolveCallback(copy);
  if (item->boundValue == 0) load.cursor.Fail();
}

// Returns whether the block has a data item section.
bool LoadDataItems(BlockLoad& load) {
  BlockCursor& cursor = load.cursor;
  if (!cursor.Ok() || !cursor.AtMarker(kDataItemMarker)) return false;
  cursor.Take(2, Follow::kMore);
  int32_t count = cursor.TakeCount();
  for (int32_t i = 0; i < count && cursor.Ok(); ++i) {
    if (!AddDataItemSlot(load.ec)) {
      cursor.Fail();
      break;
    }
    // A record that does not lie within the block leaves its slot empty.
    const unsigned char* image = cursor.Take(ImageSize(load.version), Follow::kMore);
    if (image == nullptr) break;
    ExpItem* item = StoreDataItem(load, image);
    if (item == nullptr) {
      cursor.Fail();
      break;
    }
    int32_t length = 0;
    const char* bindingName = cursor.TakeString(Follow::kMayEnd, &length);
    if (bindingName == nullptr) break;
    BindDataItem(load, item, bindingName, length);
  }
  return true;
}

// Blocks written before data items had subclasses give every item the one
// that the host's average function asks of its first argument, so formulas
// that average a data item still pass the subclass check.
void FixAverageSubclass(ExprContext* ec) {
  if (ec->functionItems == nullptr || ec->dataItems == nullptr) return;
  const ExpItem* average = core::FindItem(ec->functionItems, kAverageFunctionName);
  if (average == nullptr || average->paramCount == 0) return;  // no parameter entry to read
  int16_t subclass = average->params[0].subclass;
  int32_t count = static_cast<int32_t>(core::HandleArrayCount(ec->dataItems));
  for (int32_t i = 0; i < count; ++i) {
    auto* slot = static_cast<ExpItem**>(core::HandleArrayLockElement(ec->dataItems, i));
    if (*slot != nullptr) (*slot)->subclass = subclass;
    core::HandleArrayUnlock(ec->dataItems);
  }
}

// ---- The oldest version's function items ---------------------------------------

// Function items are defined again by the host at every start, so the copies
// the oldest blocks carry are only stepped over.
void SkipFunctionItems(BlockLoad& load) {
  BlockCursor& cursor = load.cursor;
  if (!cursor.Ok() || !cursor.AtMarker(kFunctionItemMarker)) return;
  cursor.Take(2, Follow::kMore);
  int32_t count = cursor.TakeCount();
  for (int32_t i = 0; i < count && cursor.Ok(); ++i) {
    const unsigned char* image = cursor.Take(kOldImageSizeV0, Follow::kMayEnd);
    if (image == nullptr) break;
    int32_t params = GetI16(image + kOldImageParamCount);
    if (params > 0 && cursor.Take(params * kOldParamEntrySize, Follow::kMayEnd) == nullptr) break;
    cursor.TakeString(Follow::kMayEnd);
  }
}

// ---- Formulas --------------------------------------------------------------------

void LoadExpressionSection(BlockLoad& load, int32_t loadExpressions) {
  BlockCursor& cursor = load.cursor;
  if (!cursor.AtMarker(kExpressionMarker) || !cursor.Ok() || loadExpressions == 0) return;
  cursor.Take(2, Follow::kMore);
  int32_t count = cursor.TakeCount();
  if (!cursor.Ok()) return;
  if (load.version <= 1) {
    LoadFormulasInOrder(load, count);
  } else {
    LoadFormulasDeferring(load, count);
  }
}

// Every byte of a block belongs to a record: bytes after the last one come
// from a count that wrapped past 16 bits or from damage, and a success then
// would drop whatever they held. With the formulas left out, what follows the
// data items is their section, which stays unread.
void RequireWholeBlock(BlockLoad& load, int32_t loadExpressions) {
  BlockCursor& cursor = load.cursor;
  if (!cursor.Ok() || cursor.AtEnd()) return;
  if (loadExpressions == 0 && cursor.AtMarker(kExpressionMarker)) return;
  cursor.Fail();
}

// Loads do not nest: the load-fix state describes one block at a time (per
// thread: loads into different contexts on different threads are independent).
thread_local bool t_loading = false;

}  // namespace
}  // namespace xev::persist

using namespace xev::persist;

extern "C" XEV_API int32_t XEV_CALL XEVSetECContents(ExprContext* ec, int32_t length, const void* block,
                                                     int32_t loadExpressions, XEVLoadErrorCallback onError) {
  if (ec == nullptr || block == nullptr || length < 1 || t_loading) return 0;
  const auto* bytes = static_cast<const unsigned char*>(block);
  auto version = static_cast<int32_t>(static_cast<int8_t>(bytes[0]));
  if (version < kOldestVersion || version > kCurrentVersion) return 0;

  // The oldest version has no version byte: its first byte is the terminator
  // of the first (always empty) operator name.
  BlockLoad load{ec, version, BlockCursor(bytes, length, version == 0 ? 0 : 1), onError};
  t_loading = true;
  LoadOperatorNames(load);
  if (load.cursor.Ok() && !load.cursor.AtEnd()) {
    bool hasDataItems = LoadDataItems(load);
    if (hasDataItems && version < kCurrentVersion) FixAverageSubclass(ec);
    if (version == 0) SkipFunctionItems(load);
    LoadExpressionSection(load, loadExpressions);
  }
  RequireWholeBlock(load, loadExpressions);
  t_loading = false;
  return load.cursor.Ok() ? 1 : 0;
}
