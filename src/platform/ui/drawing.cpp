// Drawing for owner-drawn lists: device contexts that remember what was
// drawn, the dialog font's fixed metrics, and the compiled-in bitmaps as
// handles.
#include <cstring>
#include <new>

#include "platform/ui/owner_draw.h"
#include "resources/bitmaps.h"
#include "xev/xevhost.h"

namespace xev::ui {

namespace kit {

void ClearDrawnRecord(DrawnRecord* record) {
  if (record == nullptr) return;
  HostFree(record->text);
  *record = DrawnRecord{};
}

}  // namespace kit

namespace {

// Integer resource ids arrive as small numbers in place of a name.
bool IsNamePointer(const char* name) { return reinterpret_cast<uintptr_t>(name) >= 0x10000; }

}  // namespace

HDC GetDC(HWND window) {
  if (kit::Find(window) == nullptr) return nullptr;
  void* block = HostAlloc(sizeof(DrawContext));
  if (block == nullptr) return nullptr;
  return new (block) DrawContext{window, nullptr, true};
}

int32_t ReleaseDC(HWND /*window*/, HDC dc) {
  // Only a context from GetDC is ours to free; the one an owner is lent
  // while drawing an entry belongs to the list.
  if (dc == nullptr || !dc->fromGetDC) return 0;
  HostFree(dc);
  return 1;
}

BOOL GetTextMetricsA(HDC /*dc*/, TEXTMETRICA* metrics) {
  if (metrics == nullptr) return 0;
  *metrics = TEXTMETRICA{kit::kLineHeight, 10, 3, 2, 2, kit::kCharWidth};
  return 1;
}

BOOL TextOutA(HDC dc, int32_t x, int32_t y, const char* text, int32_t length) {
  if (dc == nullptr || length < 0 || (text == nullptr && length > 0)) return 0;
  kit::DrawnRecord* record = dc->record;
  if (record == nullptr) return 1;
  auto* copy = static_cast<char*>(HostAlloc(static_cast<size_t>(length) + 1));
  if (copy == nullptr) return 0;
  if (length > 0) std::memcpy(copy, text, static_cast<size_t>(length));
  HostFree(record->text);
  record->text = copy;
  record->textX = x;
  record->textY = y;
  return 1;
}

BOOL DrawBitmap(HDC dc, HBITMAP bitmap, int32_t x, int32_t y) {
  if (dc == nullptr || bitmap == nullptr) return 0;
  if (kit::DrawnRecord* record = dc->record) {
    record->bitmap = bitmap->resource;
    record->bitmapX = x;
    record->bitmapY = y;
  }
  return 1;
}

BOOL InvertRect(HDC dc, const RECT* rect) {
  if (dc == nullptr || rect == nullptr) return 0;
  if (dc->record != nullptr) dc->record->inverted = !dc->record->inverted;
  return 1;
}

BOOL DrawFocusRect(HDC dc, const RECT* rect) {
  if (dc == nullptr || rect == nullptr) return 0;
  if (dc->record != nullptr) dc->record->focusRect = !dc->record->focusRect;
  return 1;
}

HBITMAP LoadBitmapA(void* /*instance*/, const char* name) {
  if (!IsNamePointer(name)) return nullptr;
  const resources::BitmapResource* resource = resources::FindBitmap(name);
  if (resource == nullptr) return nullptr;
  void* block = HostAlloc(sizeof(Bitmap));
  if (block == nullptr) return nullptr;
  return new (block) Bitmap{resource};
}

BOOL DeleteObject(HBITMAP bitmap) {
  if (bitmap == nullptr) return 0;
  HostFree(bitmap);
  return 1;
}

int32_t GetObjectA(HBITMAP bitmap, int32_t size, BITMAP* out) {
  if (bitmap == nullptr || out == nullptr || size < static_cast<int32_t>(sizeof(BITMAP))) return 0;
  *out = BITMAP{bitmap->resource->width, bitmap->resource->height};
  return static_cast<int32_t>(sizeof(BITMAP));
}

}  // namespace xev::ui

using namespace xev::ui;

extern "C" {

XEV_API int32_t XEV_CALL XEVUiGetDrawnItem(XEVHWND listBox, int32_t index, XEVUiDrawnItem* item) {
  const kit::DrawnRecord* record = kit::ListDrawnRecord(listBox, index);
  if (record == nullptr || !record->drawn || item == nullptr) return 0;
  const xev::resources::BitmapResource* bitmap = record->bitmap;
  *item = XEVUiDrawnItem{};
  item->text = record->text;
  item->textX = record->textX;
  item->textY = record->textY;
  if (bitmap != nullptr) {
    item->bitmapName = bitmap->name;
    item->bitmapX = record->bitmapX;
    item->bitmapY = record->bitmapY;
    item->bitmapWidth = bitmap->width;
    item->bitmapHeight = bitmap->height;
  }
  item->inverted = record->inverted ? 1 : 0;
  item->focusRect = record->focusRect ? 1 : 0;
  item->itemRect = XEVUiRect{record->itemRect.left, record->itemRect.top, record->itemRect.right,
                             record->itemRect.bottom};
  return 1;
}

XEV_API int32_t XEV_CALL XEVUiGetBitmapPixels(const char* name, int32_t* width, int32_t* height,
                                              const uint8_t** pixels) {
  const xev::resources::BitmapResource* bitmap = IsNamePointer(name) ? xev::resources::FindBitmap(name) : nullptr;
  if (bitmap == nullptr) return 0;
  if (width != nullptr) *width = bitmap->width;
  if (height != nullptr) *height = bitmap->height;
  if (pixels != nullptr) *pixels = bitmap->pixels;
  return 1;
}

}  // extern "C"
