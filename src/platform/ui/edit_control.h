// What the edit control's files share: its state block, the text geometry
// every caret movement rests on, and the one way the text is changed.
#pragma once

#include <cstdint>

#include "platform/ui/kit.h"

namespace xev::ui::kit::edit {

// Lives in Window::control (HostAlloc, freed with the window record).
struct EditState {
  int32_t anchor;       // byte offset where the selection started
  int32_t caret;        // byte offset of the caret, the selection's moving end
  int32_t limit;        // most bytes the user may bring in; 0 = no limit
  // The typed bytes of a character still waiting for its last byte (a
  // double-byte lead byte, the start of a UTF-8 sequence); none when 0.
  char pending[4];
  int32_t pendingCount;
  bool modified;
  bool readOnly;
  bool dragging;  // the left button went down in the control and is still down
  // A span its owner marked as wrong (the editor's check as you type), shown
  // underlined by a presenter; markEnd <= markStart for none.
  int32_t markStart, markEnd;
};

// ---- Text geometry (edit_text.cpp) ----------------------------------------------
// Caret stops are the offsets between characters: a double-byte character, a
// UTF-8 sequence (HostCharLength) and a "\r\n" pair are each one step. Every function walks from the text's start,
// because in a double-byte code page a trail byte can look like a lead byte.
struct Text {
  const char* bytes;
  int32_t length;
};

// Bytes of the character (or "\r\n" pair) starting at pos; 0 at the end.
int32_t StepAt(Text t, int32_t pos);
// pos clamped into the text and moved back onto the nearest caret stop.
int32_t SnapToStop(Text t, int32_t pos);
int32_t NextStop(Text t, int32_t pos);
int32_t PrevStop(Text t, int32_t pos);
// Lines end at '\n'; a line's end is before its "\r\n" or "\n".
int32_t LineStart(Text t, int32_t pos);
int32_t LineEnd(Text t, int32_t pos);
int32_t LineIndex(Text t, int32_t pos);
int32_t LineCount(Text t);
// Offset where line (clamped to the existing lines) starts.
int32_t StartOfLine(Text t, int32_t line);
// How many leading bytes of t fit into room without splitting a character.
int32_t FitBytes(Text t, int32_t room);
// Nearest caret stop to a client point, measured with the kit's fixed metrics.
int32_t CharFromPointFixed(Text t, int32_t x, int32_t y);
// The run of non-blank characters at or just before pos, as [*start, *end);
// both pos when there is none.
void WordAround(Text t, int32_t pos, int32_t* start, int32_t* end);

// ---- The control (edit_control.cpp) ---------------------------------------------
EditState* StateOf(HWND edit);
Text TextOfEdit(HWND edit);
bool IsMultiLine(HWND edit);
int32_t SelectionStart(const EditState* e);
int32_t SelectionEnd(const EditState* e);
// Moves the selection (both ends snapped onto caret stops) and tells the presenter.
void SetSelection(HWND edit, int32_t anchor, int32_t caret);
// Nearest caret stop to a client point: the presenter's answer, else fixed metrics.
int32_t CharFromPoint(HWND edit, int32_t x, int32_t y);

// What a replacement did, so that it can be announced once the caller is done
// with borrowed text (the clipboard's, for one).
struct Change {
  bool applied;  // the text changed
  bool cut;      // the limit left part of the insertion out
};
// Puts bytes in place of the selection (cut to the limit), caret after them.
// When memory is short nothing changes and nothing is to be announced.
Change ReplaceSelection(HWND edit, const char* bytes, int32_t length);
// Tells the presenter and the parent (EN_CHANGE, EN_MAXTEXT) about a change.
void Announce(HWND edit, Change change);

// ---- Keyboard and clipboard (edit_keys.cpp) -----------------------------------
void OnChar(HWND edit, uint32_t byte);
void OnKeyDown(HWND edit, int32_t virtualKey);
// false when the selection is empty or did not reach the clipboard.
bool CopySelection(HWND edit);
void CutSelection(HWND edit);
void Paste(HWND edit);
void ClearSelection(HWND edit);

}  // namespace xev::ui::kit::edit
