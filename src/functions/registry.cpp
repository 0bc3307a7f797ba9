// Registering the built-in functions in a context. The function table lives in
// the string resources, one row per function: the entry point's full name, the
// return type, the parameter count and the parameter types, comma-separated.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "functions/functions.h"
#include "platform/platform.h"

namespace xev::functions {

namespace {

constexpr uint32_t kFirstRow = 20000;
constexpr uint32_t kLastRow = 20045;
constexpr int32_t kRowTextSize = 129;   // 128 characters and the terminator
constexpr int32_t kMaxParameters = 7;   // what the working record has room for
constexpr int32_t kPrefixLength = 3;    // "FUN", not part of the name in formulas
constexpr int32_t kRecordSize = XEV_ITEM_FIXED_SIZE + kMaxParameters * static_cast<int32_t>(sizeof(ExpParam));

// Cuts the next comma-separated field out of *cursor (which it advances) into
// field; an exhausted row gives an empty field. Unlike strtok it keeps no
// hidden state, so nothing else in the process can disturb a registration.
const char* NextField(const char** cursor, char* field) {
  const char* start = *cursor;
  while (*start == ',') ++start;
  const char* stop = start;
  while (*stop != '\0' && *stop != ',') ++stop;
  size_t length = static_cast<size_t>(stop - start);
  std::memcpy(field, start, length);
  field[length] = '\0';
  *cursor = stop;
  return field;
}

struct Workspace {
  ExpItem* record = nullptr;
  char* row = nullptr;
  char* entryName = nullptr;
  char* field = nullptr;

  bool Allocate() {
    record = static_cast<ExpItem*>(HostAlloc(kRecordSize));
    row = static_cast<char*>(HostAlloc(kRowTextSize));
    entryName = static_cast<char*>(HostAlloc(kRowTextSize));
    field = static_cast<char*>(HostAlloc(kRowTextSize));
    return record != nullptr && row != nullptr && entryName != nullptr && field != nullptr;
  }
  ~Workspace() {
    HostFree(field);
    HostFree(entryName);
    HostFree(row);
    HostFree(record);
  }
};

// Fills the record from one row; every field the row does not give is 0.
void DescribeFunction(Workspace& ws, HMODULE module) {
  ExpItem* record = ws.record;
  std::memset(record, 0, kRecordSize);
  record->kind = XEV_ITEM_FUNCTION;

  const char* cursor = ws.row;
  NextField(&cursor, ws.entryName);
  const char* display = std::strlen(ws.entryName) > kPrefixLength ? ws.entryName + kPrefixLength : "";
  std::snprintf(record->name, sizeof record->name, "%s", display);
  record->dataType = static_cast<int16_t>(std::atoi(NextField(&cursor, ws.field)));
  int32_t count = std::atoi(NextField(&cursor, ws.field));
  if (count < 0) count = 0;
  if (count > kMaxParameters) count = kMaxParameters;
  record->paramCount = static_cast<int16_t>(count);
  for (int32_t i = 0; i < count; ++i) {
    record->params[i].type = static_cast<int16_t>(std::atoi(NextField(&cursor, ws.field)));
  }
  record->bindingName = ws.entryName;
  // A row whose entry point is missing is still offered; the context's
  // resolve callback may supply one when the item is added.
  void* entry = platform::IsOwnModule(module) ? LookupExport(ws.entryName) : nullptr;
  record->boundValue = reinterpret_cast<intptr_t>(entry);
}

}  // namespace

}  // namespace xev::functions

using namespace xev::functions;

extern "C" {

XEV_API int32_t XEV_CALL FUNDefineFunctions(ExprContext* ec) {
  if (ec == nullptr) return 0;
  Workspace ws;
  if (!ws.Allocate()) return 0;
  HMODULE module = FUNModuleHandle();
  for (uint32_t id = kFirstRow; id <= kLastRow; ++id) {
    if (xev::platform::LoadStringA(module, id, ws.row, kRowTextSize) == 0) continue;
    DescribeFunction(ws, module);
    if (XEVAddExpressionItem(ec, ws.record) == 0) return 0;
  }
  return 1;
}

XEV_API HMODULE XEV_CALL FUNModuleHandle(void) { return xev::platform::ModuleInstance(); }

// System settings changed: formatting reads the locale again at its next use,
// so numbers and amounts follow the user's new country settings.
XEV_API void XEV_CALL FUNWinIniChange(void) { HostLocaleChanged(); }

}  // extern "C"
