// The library's dialog templates, compiled in: every control with its id,
// class, caption, styles and rectangle in dialog units.
#pragma once

#include <cstdint>

namespace xev::resources {

// How a control follows a dialog that is larger than its template: each edge
// moves by its share (in twelfths) of the extra width or height.
struct Anchor {
  uint8_t left, right, top, bottom;
};
inline constexpr uint8_t kShareWhole = 12;

struct DialogControl {
  int32_t id;  // -1 for a control without one
  const char* className;
  const char* caption;
  uint32_t style;  // besides child and visible, which every control has unless marked hidden
  int16_t x, y, cx, cy;
  bool hidden;
  Anchor anchor;  // all zero: keeps its place and size
};

struct DialogTemplate {
  const char* name;
  const char* caption;
  const char* className;
  const char* fontName;
  int32_t pointSize;
  uint32_t style;
  int16_t x, y, cx, cy;
  const DialogControl* controls;
  int32_t controlCount;
  // Dialog units a resizable dialog opens larger than its template, which is
  // its smallest size; both zero for a dialog of fixed size.
  int16_t growCx, growCy;
};

// The template by name (exact, case-insensitive), or nullptr.
const DialogTemplate* FindDialogTemplate(const char* name);

}  // namespace xev::resources
