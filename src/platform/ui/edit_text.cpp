// Text geometry of the edit control: caret stops, lines, words, and where a
// point falls with the kit's fixed metrics. Pure functions over bytes.
#include "platform/ui/edit_control.h"
#include "xev/xevhost.h"

namespace xev::ui::kit::edit {
namespace {

bool IsLineBreakStop(Text t, int32_t pos, int32_t step) {
  if (step == 1) return t.bytes[pos] == '\n';
  return step == 2 && t.bytes[pos] == '\r' && t.bytes[pos + 1] == '\n';
}

bool IsBlankStop(Text t, int32_t pos, int32_t step) {
  if (IsLineBreakStop(t, pos, step)) return true;
  return step == 1 && (t.bytes[pos] == ' ' || t.bytes[pos] == '\t' || t.bytes[pos] == '\r');
}

int32_t Clamp(Text t, int32_t pos) { return pos < 0 ? 0 : (pos > t.length ? t.length : pos); }

}  // namespace

int32_t StepAt(Text t, int32_t pos) {
  if (pos < 0 || pos >= t.length) return 0;
  if (pos + 1 < t.length && t.bytes[pos] == '\r' && t.bytes[pos + 1] == '\n') return 2;
  int32_t length = HostCharLength(t.bytes + pos, t.length - pos);
  return length > 0 ? length : 1;  // a zero byte inside the text is a stop of its own
}

int32_t SnapToStop(Text t, int32_t pos) {
  pos = Clamp(t, pos);
  int32_t at = 0;
  while (at < pos) {
    int32_t next = at + StepAt(t, at);
    if (next > pos) return at;
    at = next;
  }
  return at;
}

int32_t NextStop(Text t, int32_t pos) {
  int32_t at = SnapToStop(t, pos);
  return at + StepAt(t, at);
}

int32_t PrevStop(Text t, int32_t pos) {
  int32_t target = SnapToStop(t, pos);
  int32_t previous = 0;
  for (int32_t at = 0; at < target; at += StepAt(t, at)) previous = at;
  return previous;
}

int32_t LineStart(Text t, int32_t pos) {
  int32_t target = SnapToStop(t, pos);
  int32_t start = 0;
  for (int32_t at = 0; at < target;) {
    int32_t step = StepAt(t, at);
    if (IsLineBreakStop(t, at, step)) start = at + step;
    at += step;
  }
  return start;
}

int32_t LineEnd(Text t, int32_t pos) {
  int32_t at = LineStart(t, pos);
  while (at < t.length) {
    int32_t step = StepAt(t, at);
    if (IsLineBreakStop(t, at, step)) return at;
    at += step;
  }
  return t.length;
}

int32_t LineIndex(Text t, int32_t pos) {
  int32_t target = SnapToStop(t, pos);
  int32_t line = 0;
  for (int32_t at = 0; at < target;) {
    int32_t step = StepAt(t, at);
    if (IsLineBreakStop(t, at, step)) ++line;
    at += step;
  }
  return line;
}

int32_t LineCount(Text t) { return LineIndex(t, t.length) + 1; }

int32_t StartOfLine(Text t, int32_t line) {
  int32_t start = 0;
  for (int32_t at = 0, seen = 0; at < t.length && seen < line;) {
    int32_t step = StepAt(t, at);
    at += step;
    if (IsLineBreakStop(t, at - step, step)) {
      ++seen;
      start = at;
    }
  }
  return start;
}

int32_t FitBytes(Text t, int32_t room) {
  int32_t at = 0;
  while (at < t.length) {
    int32_t next = at + StepAt(t, at);
    if (next > room) break;
    at = next;
  }
  return at;
}

int32_t CharFromPointFixed(Text t, int32_t x, int32_t y) {
  int32_t at = StartOfLine(t, y < 0 ? 0 : y / kLineHeight);
  int32_t left = 0;
  while (at < t.length) {
    int32_t step = StepAt(t, at);
    if (IsLineBreakStop(t, at, step)) break;
    // A double-byte character is a full-width one; a UTF-8 character, of
    // however many bytes, takes one cell.
    int32_t width = step == 2 && HostIsDbcs() != 0 ? 2 * kCharWidth : kCharWidth;
    // Nearer to the character's left edge than to its right one.
    if (2 * x < 2 * left + width) return at;
    left += width;
    at += step;
  }
  return at;
}

void WordAround(Text t, int32_t pos, int32_t* start, int32_t* end) {
  int32_t target = SnapToStop(t, pos);
  *start = *end = target;
  int32_t runStart = -1;
  for (int32_t at = 0; at <= t.length;) {
    int32_t step = StepAt(t, at);
    bool blank = at == t.length || IsBlankStop(t, at, step);
    if (!blank && runStart < 0) runStart = at;
    if (blank && runStart >= 0) {
      // Runs are apart by at least one blank, so only one can hold target.
      if (runStart <= target && target <= at) {
        *start = runStart;
        *end = at;
        return;
      }
      runStart = -1;
    }
    if (at == t.length) break;
    at += step;
  }
}

}  // namespace xev::ui::kit::edit
