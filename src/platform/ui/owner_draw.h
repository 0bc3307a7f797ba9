// Owner drawing. The kit paints nothing itself: a device context only
// remembers what was drawn into it, so that a presenter can show an
// owner-drawn entry and a test can check what the owner drew.
#pragma once

#include "platform/ui/kit.h"

namespace xev::resources {
struct BitmapResource;
}

namespace xev::ui::kit {

// What an owner last drew for one list entry. Inversion and focus rectangles
// are exclusive-or operations, so drawing either twice takes it away again.
struct DrawnRecord {
  bool drawn;
  char* text;  // HostAlloc, zero-terminated; null when no text was drawn
  int32_t textX, textY;
  const resources::BitmapResource* bitmap;
  int32_t bitmapX, bitmapY;
  bool inverted;
  bool focusRect;
  RECT itemRect;
};

// Frees the record's text and forgets everything drawn.
void ClearDrawnRecord(DrawnRecord* record);

// The record of a list entry, or nullptr for a window that is no list box or
// an index that names no entry.
const DrawnRecord* ListDrawnRecord(HWND list, int32_t index);

}  // namespace xev::ui::kit

namespace xev::ui {

// A device context. One from GetDC records nothing (record is null) and is
// given back with ReleaseDC; the one handed to an owner in WM_DRAWITEM lives
// on the list's stack and records into that entry's record.
struct DrawContext {
  HWND window;
  kit::DrawnRecord* record;
  bool fromGetDC;
};

struct Bitmap {
  const resources::BitmapResource* resource;
};

}  // namespace xev::ui
