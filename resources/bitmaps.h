// The library's compiled-in bitmaps: the pictograms of the editor's three
// modes, large for the mode buttons and small ("...L") for list entries.
// One byte per pixel, row by row: 0 background, 1 ink, 2 accent, so that a
// presenter can colour them to match its own theme.
#pragma once

#include <cstdint>

namespace xev::resources {

struct BitmapResource {
  const char* name;
  int32_t width;
  int32_t height;
  const uint8_t* pixels;
};

// The bitmap of that name, compared without regard to case; nullptr when unknown.
const BitmapResource* FindBitmap(const char* name);

}  // namespace xev::resources
