// The value list: the values of the data item selected in the editor, which
// the host puts into the list box; a double click writes the value into the
// formula as a literal of the item's type.
#include <cstring>

#include "core/core.h"
#include "editor/editor_state.h"
#include "eval/eval.h"
#include "xev/xevui.h"

namespace xev::editor {
namespace {

using namespace xev::ui;

constexpr int16_t kNoDataItem = -1;
constexpr uint16_t kQuoteDatesInSets = 0x01;
constexpr uint16_t kInsertDatesAsListed = 0x02;
constexpr size_t kDateBufferSize = 128;
constexpr size_t kQuoteHeadroom = 100;
constexpr const char* kSeparator = " - ";
constexpr const char* kQuotedDate = "'%s'";

// One value list at most, opened by the one editor.
struct ValueListState {
  HWND dialog = nullptr;
  char* keptTitle = nullptr;  // the title as the dialog was made
  int16_t dataType = kNoDataItem;
};
ValueListState g_valueList;

void ReleaseTitle() {
  HostFree(g_valueList.keptTitle);
  g_valueList.keptTitle = nullptr;
  g_valueList.dialog = nullptr;
}

// Beside the editor's functions list, a quarter of the way down it, but
// never past the right or bottom edge of the screen.
void PlaceBesideFunctions(HWND dialog) {
  RECT list{}, self{};
  if (!GetWindowRect(GetDlgItem(GetWindow(dialog, GW_OWNER), kIdFunctions), &list)) return;
  if (!GetWindowRect(dialog, &self)) return;
  int32_t width = self.right - self.left;
  int32_t height = self.bottom - self.top;
  int32_t left = list.right;
  int32_t top = list.top + (list.bottom - list.top) / 4;
  int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
  int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
  if (top + height > screenHeight) top = screenHeight - height;
  if (left + width > screenWidth) left = screenWidth - width;
  MoveWindow(dialog, left, top, width, height, 0);
}

void InitValueList(HWND dialog) {
  // A list left by an editor that went away without closing it gives way.
  ReleaseTitle();
  g_valueList.dialog = dialog;
  g_valueList.dataType = kNoDataItem;
  g_valueList.keptTitle = CopyWindowText(dialog);
  PlaceBesideFunctions(dialog);
  ShowWindow(dialog, SW_SHOWNORMAL);
}

void ShowValuesOf(HWND dialog, const char* name) {
  g_valueList.dataType = static_cast<int16_t>(core::DataItemType(Editor().ec, name));
  const char* kept = g_valueList.keptTitle;
  if (kept == nullptr) return;
  if (name == nullptr) {
    SetWindowTextA(dialog, kept);
    return;
  }
  size_t nameLength = std::strlen(name);
  size_t separatorLength = std::strlen(kSeparator);
  size_t keptLength = std::strlen(kept);
  auto* title = static_cast<char*>(HostAlloc(nameLength + keptLength + 5));
  if (title == nullptr) {
    SetWindowTextA(dialog, kept);
    return;
  }
  std::memcpy(title, name, nameLength);
  std::memcpy(title + nameLength, kSeparator, separatorLength);
  std::memcpy(title + nameLength + separatorLength, kept, keptLength + 1);
  SetWindowTextA(dialog, title);
  HostFree(title);
}

// The value's length and a hundred bytes, as much as quoting needs in the
// common case; a value with so many quotes that their doubling outgrows that
// gets exactly what its literal takes, so the literal is always whole.
char* QuotedString(const char* value) {
  size_t size = std::strlen(value) + kQuoteHeadroom;
  size_t needed = QuotedStringSize(value);
  auto* literal = static_cast<char*>(HostAlloc(needed > size ? needed : size));
  if (literal != nullptr) QuoteStringValue(literal, value);
  return literal;
}

bool HasConversion(const char* convert) { return convert != nullptr && convert[0] != '\0'; }

// The conversion string of the recognised form (8 date, 10 date and time,
// 9 time), or plain quotes for dates written into a set when the host asks.
const char* DateFormat(const ExprContext* ec, int32_t code) {
  if ((ec->dateConvertOptions & kQuoteDatesInSets) != 0 && Editor().mode == kModeSet) return kQuotedDate;
  const char* convert = nullptr;
  if (code == 8) convert = ec->dateConverts[0];
  if (code == 10) convert = ec->dateConverts[1];
  if (code == 9) convert = ec->dateConverts[2];
  return HasConversion(convert) ? convert : nullptr;
}

// Only the first "%s" takes the date; the rest of the host's string is
// literal text, never read as a format of its own.
char* FillFormat(const char* format, const char* date) {
  size_t formatLength = std::strlen(format);
  size_t dateLength = std::strlen(date);
  auto* text = static_cast<char*>(HostAlloc(formatLength + dateLength + 1));
  if (text == nullptr) return nullptr;
  const char* slot = std::strstr(format, "%s");
  if (slot == nullptr) {
    std::memcpy(text, format, formatLength + 1);
    return text;
  }
  auto before = static_cast<size_t>(slot - format);
  std::memcpy(text, format, before);
  std::memcpy(text + before, date, dateLength);
  std::memcpy(text + before + dateLength, slot + 2, formatLength - before - 2 + 1);
  return text;
}

// A date the pictures cannot write again (not recognised, or no picture for
// its form) goes in as listed rather than as an empty literal.
char* ConvertedDate(const char* value) {
  const ExprContext* ec = Editor().ec;
  if (ec == nullptr || (ec->dateConvertOptions & kInsertDatesAsListed) != 0) return nullptr;
  if (!HasConversion(ec->dateConverts[0]) && !HasConversion(ec->dateConverts[1]) &&
      !HasConversion(ec->dateConverts[2]))
    return nullptr;
  char date[kDateBufferSize] = {};
  int32_t code = eval::RecognizeDateText(value, date, ec->datePictures[0], ec->datePictures[1], ec->datePictures[2]);
  if (code == 0 || date[0] == '\0') return nullptr;
  const char* format = DateFormat(ec, code);
  return format != nullptr ? FillFormat(format, date) : nullptr;
}

// The literal to insert for value, or null to insert the value as listed.
char* LiteralOf(const char* value) {
  if (g_valueList.dataType == XEV_TYPE_STRING) return QuotedString(value);
  if (g_valueList.dataType == XEV_TYPE_DATETIME) return ConvertedDate(value);
  return nullptr;
}

void InsertSelectedValue(HWND dialog, HWND list) {
  auto index = static_cast<int32_t>(SendMessageA(list, LB_GETCURSEL, 0, 0));
  if (index < 0) return;
  char* value = ListEntryText(list, index);
  if (value == nullptr) return;
  char* literal = LiteralOf(value);
  const char* text = literal != nullptr ? literal : value;
  HWND formula = GetDlgItem(GetWindow(dialog, GW_OWNER), kIdFormulaText);
  InsertText(formula, text, static_cast<int32_t>(std::strlen(text)));
  HostFree(literal);
  HostFree(value);
}

void CloseValueList(HWND dialog) {
  ReleaseTitle();
  Editor().valueList = nullptr;
  ValueListClosed();
  DestroyWindow(dialog);
}

// A list that goes with its editor hears no WM_CLOSE; its title goes here.
void ValueListDestroyed(HWND dialog) {
  if (g_valueList.dialog == dialog) ReleaseTitle();
  if (Editor().valueList == dialog) Editor().valueList = nullptr;
}

}  // namespace
}  // namespace xev::editor

extern "C" XEV_API intptr_t XEV_CALL XevListValuesDlgProc(XEVHWND dialog, uint32_t message, uintptr_t wParam,
                                                         intptr_t lParam) {
  using namespace xev::editor;
  switch (message) {
    case WM_INITDIALOG: InitValueList(dialog); return 1;
    case kMsgShowValuesOf: ShowValuesOf(dialog, reinterpret_cast<const char*>(lParam)); return 1;
    case WM_COMMAND:
      if (LOWORD(wParam) != kIdCompanionControl || HIWORD(wParam) != LBN_DBLCLK) return 0;
      InsertSelectedValue(dialog, GetDlgItem(dialog, kIdCompanionControl));
      return 1;
    case WM_CLOSE: CloseValueList(dialog); return 1;
    case WM_DESTROY: ValueListDestroyed(dialog); return 0;
    default: return 0;
  }
}
