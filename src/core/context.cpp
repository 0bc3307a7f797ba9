// The expression context: creating, destroying and copying it, and the
// settings a host gives it (help path, date conversions and pictures,
// callbacks, its own free value).
#include <cstring>

#include "core/core.h"
#include "core/item_index.h"
#include "core/formula_index.h"
#include "core/item_store.h"
#include "core/upper_layers.h"

namespace xev::core {

namespace {

constexpr uint16_t kNoStringConcat = ECF_NO_STRING_CONCAT;
// Conversion option: date literals in extended text are wrapped in the
// conversion string, so its length counts towards the widest date text.
constexpr uint16_t kWrapDates = 0x02;

void ReleaseString(char** field) {
  HostFree(*field);
  *field = nullptr;
}

ExprRecord* ExpressionAt(HGLOBAL list, uint32_t index) {
  if (list == nullptr || index >= HandleArrayCount(list)) return nullptr;
  ExprRecord* record = nullptr;
  void* slot = HandleArrayLockElement(list, static_cast<int32_t>(index));
  if (slot == nullptr) return nullptr;
  std::memcpy(&record, slot, sizeof record);
  HandleArrayUnlock(list);
  return record;
}

void ReleaseExpressions(ExprContext* ec) {
  FormulaIndexRelease(ec);
  if (ec->expressions == nullptr) return;
  uint32_t count = HandleArrayCount(ec->expressions);
  for (uint32_t i = 0; i < count; ++i) ReleaseExpressionRecord(ec, ExpressionAt(ec->expressions, i));
  HandleArrayFree(ec->expressions);
  ec->expressions = nullptr;
  ec->formulasNamingFormulas = 0;
  ec->mayNameMissingFormulas = 0;
}

void ReleaseStrings(ExprContext* ec) {
  for (char*& picture : ec->datePictures) ReleaseString(&picture);
  for (char*& convert : ec->dateConverts) ReleaseString(&convert);
  for (OperatorEntry& entry : ec->operators) {
    for (char*& name : entry.names) ReleaseString(&name);
  }
}

int32_t LongestConversion(const ExprContext* ec) {
  int32_t longest = 0;
  for (const char* convert : ec->dateConverts) {
    if (convert == nullptr) continue;
    int32_t length = HostStrLen(convert);
    if (length > longest) longest = length;
  }
  return longest;
}

// The pictures pair with the conversion kinds the host reads date literals
// as: the first writes dates, the second dates with times, the third times.
constexpr int32_t kPictureKinds[3] = {XEV_FORMAT_DATE, XEV_FORMAT_DATETIME, XEV_FORMAT_TIME};

int32_t MeasureDatePictures(const ExprContext* ec) {
  int32_t width = 0;
  for (int i = 0; i < 3; ++i) {
    if (ec->datePictures[i] == nullptr) continue;
    FormatDesc desc;
    FormatInit(&desc);
    FormatUseLocale(&desc);  // measure with the locale the output will use
    desc.kind = kPictureKinds[i];
    desc.picture = ec->datePictures[i];
    width = FormatMeasure(&desc, width);
  }
  return width;
}

void ComputeDateTextWidth(ExprContext* ec) {
  int32_t width = MeasureDatePictures(ec);
  if ((ec->dateConvertOptions & kWrapDates) != 0) width += LongestConversion(ec);
  ec->dateTextWidth = width;
}

void CopyItems(ExprContext* copy, HGLOBAL list) {
  // Items are added one at a time, so walk by index rather than holding a lock
  // across XEVAddExpressionItem; a failed add leaves that item out only.
  for (uint32_t i = 0; i < HandleArrayCount(list); ++i) {
    const ExpItem* item = ItemAt(list, i);
    if (item != nullptr) XEVAddExpressionItem(copy, item);
  }
}

// Expressions are copied by parsing their texts again in the copy, so their
// trees resolve against the copy's own items.
void CopyExpressions(ExprContext* copy, const ExprContext* source) {
  for (uint32_t i = 0;; ++i) {
    const ExprRecord* record = ExpressionAt(source->expressions, i);
    if (record == nullptr) return;
    if (record->text == nullptr) continue;
    ExprError error{};
    uint16_t type = 0;
    XEVParseString(copy, record->text, record->name != nullptr ? record->name : "", &error, &type);
  }
}

}  // namespace

}  // namespace xev::core

using namespace xev::core;

extern "C" {

XEV_API ExprContext* XEV_CALL XEVCreateEC(intptr_t hostValue, XEVResolveCallback resolve,
                                          XEVRenameCallback rename, uint16_t flags) {
  auto* ec = static_cast<ExprContext*>(HostAlloc(sizeof(ExprContext)));
  if (ec == nullptr) return nullptr;
  ec->hostValue = hostValue;
  ec->resolveCallback = resolve;
  ec->renameCallback = rename;
  ec->flags = flags;
  ec->pipeAllowed = (flags & kNoStringConcat) == 0 ? 1 : 0;
  ec->nextFormulaNumber = 1;
  ec->nextRangeNumber = 1;
  ec->nextSetNumber = 1;
  ItemIndexCreate(ec);
  return ec;
}

XEV_API int32_t XEV_CALL XEVDestroyEC(ExprContext* ec) {
  if (ec == nullptr) return 1;
  ReleaseExpressions(ec);
  ReleaseItemList(ec->dataItems);
  ReleaseItemList(ec->functionItems);
  ReleaseItemList(ec->keywordItems);
  ReleaseStrings(ec);
  ItemIndexRelease(ec);
  xev::core::kUpperLayers.releaseItemCells(ec);
  HostFree(ec);
  return 1;
}

XEV_API ExprContext* XEV_CALL XEVCopyEC(ExprContext* ec) {
  if (ec == nullptr) return nullptr;
  ExprContext* copy = XEVCreateEC(ec->hostValue, ec->resolveCallback, ec->renameCallback, ec->flags);
  if (copy == nullptr) return nullptr;
  copy->userLong = ec->userLong;
  copy->reserved = ec->reserved;
  copy->delPermissionCallback = ec->delPermissionCallback;
  copy->notifyCallback = ec->notifyCallback;
  copy->listValuesCallback = ec->listValuesCallback;

  const char* const* converts = ec->dateConverts;
  if (converts[0] != nullptr || converts[1] != nullptr || converts[2] != nullptr) {
    XEVSetDateConvert(copy, converts[0], converts[1], converts[2], ec->dateConvertOptions);
  }
  // Pictures travel only together with the first one.
  const char* const* pictures = ec->datePictures;
  if (pictures[0] != nullptr) XEVSetDatePicture(copy, pictures[0], pictures[1], pictures[2]);

  CopyItems(copy, ec->functionItems);
  CopyItems(copy, ec->dataItems);
  CopyItems(copy, ec->keywordItems);
  CopyExpressions(copy, ec);
  return copy;
}

XEV_API void XEV_CALL XEVSetHelpPath(ExprContext* ec, const char* path, int32_t helpContext) {
  if (ec == nullptr) return;
  if (path != nullptr) {
    int32_t length = HostStrLen(path);
    if (length < kHelpPathSize) std::memcpy(ec->helpPath, path, static_cast<size_t>(length) + 1);
  }
  ec->helpContext = helpContext;
}

XEV_API void XEV_CALL XEVSetDateConvert(ExprContext* ec, const char* first, const char* second,
                                        const char* third, uint16_t options) {
  if (ec == nullptr) return;
  ec->dateConvertOptions = options;
  const char* given[3] = {first, second, third};
  for (int i = 0; i < 3; ++i) {
    if (given[i] == nullptr) continue;
    char* copy = CopyString(given[i]);
    HostFree(ec->dateConverts[i]);
    ec->dateConverts[i] = copy;
  }
}

XEV_API int32_t XEV_CALL XEVSetDatePicture(ExprContext* ec, const char* first, const char* second,
                                           const char* third) {
  if (ec == nullptr) return 0;
  for (char*& picture : ec->datePictures) ReleaseString(&picture);
  const char* given[3] = {first, second, third};
  for (int i = 0; i < 3; ++i) {
    if (given[i] == nullptr || given[i][0] == '\0') continue;
    ec->datePictures[i] = CopyString(given[i]);
  }
  ComputeDateTextWidth(ec);
  return 1;
}

XEV_API void XEV_CALL XEVSetListValuesCallback(ExprContext* ec, XEVListValuesCallback callback) {
  if (ec != nullptr) ec->listValuesCallback = callback;
}

XEV_API void XEV_CALL XEVSetDelPermissionCallback(ExprContext* ec, XEVDelPermissionCallback callback) {
  if (ec != nullptr) ec->delPermissionCallback = callback;
}

XEV_API void XEV_CALL XEVSetNotifyCallback(ExprContext* ec, XEVNotifyCallback callback) {
  if (ec != nullptr) ec->notifyCallback = callback;
}

XEV_API intptr_t XEV_CALL XEVSetUserLong(ExprContext* ec, intptr_t value) {
  if (ec == nullptr) return 0;
  intptr_t previous = ec->userLong;
  ec->userLong = value;
  return previous;
}

XEV_API intptr_t XEV_CALL XEVGetUserLong(ExprContext* ec) { return ec == nullptr ? 0 : ec->userLong; }

}  // extern "C"
