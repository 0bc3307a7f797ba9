// The formulas list draws its own entries: the picture of the entry's kind
// (with value lists offered), then its name on one line, both centred in
// the row; a selected entry is inverted and the focused one framed.
#include <cstring>

#include "editor/editor_view.h"

namespace xev::editor {

using namespace xev::ui;

void MeasureFormulaEntry(MEASUREITEMSTRUCT* measure) {
  TEXTMETRICA metrics{};
  GetTextMetricsA(nullptr, &metrics);
  EditorState& e = Editor();
  e.fontHeight = metrics.tmHeight;
  e.fontExternalLeading = metrics.tmExternalLeading;
  measure->itemHeight = static_cast<UINT>(metrics.tmHeight + metrics.tmExternalLeading);
}

namespace {

// Room between the picture and the name, so the two never touch.
constexpr int32_t kPictureGap = 3;

HBITMAP BitmapOf(HWND list, int32_t index) {
  EditorState& e = Editor();
  if (index == 0) return e.bitmaps[e.mode >= 0 && e.mode <= 2 ? e.mode : 0];
  char* name = ListEntryText(list, index);
  if (name == nullptr) return e.bitmaps[kKindFormula];
  HEXP exp = ExpressionNamed(name);
  HostFree(name);
  return e.bitmaps[exp != nullptr ? KindOf(exp) : kKindFormula];
}

}  // namespace

void DrawFormulaEntry(const DRAWITEMSTRUCT* draw) {
  if (draw == nullptr || static_cast<int32_t>(draw->itemID) < 0) return;
  EditorState& e = Editor();
  auto index = static_cast<int32_t>(draw->itemID);
  const RECT& row = draw->rcItem;
  int32_t rowHeight = row.bottom - row.top;
  int32_t x = row.left;
  if (e.bitmaps[0] != nullptr) {
    HBITMAP bitmap = BitmapOf(draw->hwndItem, index);
    if (bitmap != nullptr) DrawBitmap(draw->hDC, bitmap, x, row.top + (rowHeight - e.bitmapHeight) / 2);
    x += e.bitmapWidth + kPictureGap;
  }
  char* text = ListEntryText(draw->hwndItem, index);
  if (text != nullptr) {
    int32_t textHeight = e.fontHeight > 0 ? e.fontHeight : rowHeight;
    TextOutA(draw->hDC, x, row.top + (rowHeight - textHeight) / 2, text, static_cast<int32_t>(std::strlen(text)));
    HostFree(text);
  }
  if (draw->itemState & ODS_SELECTED) InvertRect(draw->hDC, &row);
  if (draw->itemState & ODS_FOCUS) DrawFocusRect(draw->hDC, &row);
}

}  // namespace xev::editor
