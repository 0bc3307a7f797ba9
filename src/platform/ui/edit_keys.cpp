// The edit control's keyboard and clipboard: typed bytes, caret movement and
// the editing commands (copy, cut, paste, clear).
#include <cstring>

#include "host/code_page.h"
#include "platform/ui/edit_control.h"
#include "xev/xevhost.h"

namespace xev::ui::kit::edit {
namespace {

constexpr uint32_t kSelectAll = 0x01, kCopy = 0x03, kPaste = 0x16, kCut = 0x18;

bool KeyHeld(int32_t virtualKey) { return (GetKeyState(virtualKey) & 0x8000) != 0; }

bool MayChange(HWND edit) {
  EditState* e = StateOf(edit);
  return e != nullptr && !e->readOnly;
}

void Insert(HWND edit, const char* bytes, int32_t length) {
  if (!MayChange(edit)) return;
  Announce(edit, ReplaceSelection(edit, bytes, length));
}

// Deletes the selection, or the character on one side of the caret when none.
void DeleteOne(HWND edit, bool forward) {
  EditState* e = StateOf(edit);
  if (e == nullptr || e->readOnly) return;
  int32_t anchor = e->anchor;
  if (e->anchor == e->caret) {
    Text t = TextOfEdit(edit);
    int32_t other = forward ? NextStop(t, e->caret) : PrevStop(t, e->caret);
    if (other == e->caret) return;
    e->anchor = other;
  }
  Change change = ReplaceSelection(edit, "", 0);
  if (!change.applied) e->anchor = anchor;
  Announce(edit, change);
}

// Whether a byte is typed text here; the rest are control characters.
bool IsTypedByte(HWND edit, uint32_t byte) {
  if (byte == '\t') return IsMultiLine(edit);
  return byte >= 0x20 && byte != 0x7F;
}

// What the bytes typed so far make: the length of a whole character, 0 while
// more must come, or -1 when they begin no character.
int32_t TypedCharacter(const char* bytes, int32_t count) {
  if (host::CurrentCodePage().utf8) {
    const int sequence = host::Utf8Sequence(bytes, static_cast<size_t>(count));
    if (sequence > 0) return sequence;
    return -sequence == count ? 0 : -1;  // a good start cut by the bytes typed so far
  }
  if (HostIsLeadByte(static_cast<unsigned char>(bytes[0])) != 0 && count < 2) return 0;
  return count;
}

// A character of several bytes goes in whole once its last byte has come.
// Under UTF-8 a byte that cannot go on with the bytes before it drops them
// and starts afresh; one that begins no character is dropped.
void TypeByte(HWND edit, uint32_t byte) {
  EditState* e = StateOf(edit);
  e->pending[e->pendingCount++] = static_cast<char>(byte);
  const int32_t length = TypedCharacter(e->pending, e->pendingCount);
  if (length == 0) return;
  const int32_t count = e->pendingCount;
  e->pendingCount = 0;
  if (length > 0) {
    Insert(edit, e->pending, length);
  } else if (count > 1) {
    TypeByte(edit, byte);
  }
}

void TypeReturn(HWND edit) {
  Window* w = Find(edit);
  if (w == nullptr || (w->style & (ES_MULTILINE | ES_WANTRETURN)) != (ES_MULTILINE | ES_WANTRETURN)) return;
  Insert(edit, "\r\n", 2);
}

// Moves the caret; the anchor follows unless Shift extends the selection.
void MoveCaret(HWND edit, int32_t to) {
  EditState* e = StateOf(edit);
  if (e == nullptr) return;
  SetSelection(edit, KeyHeld(VK_SHIFT) ? e->anchor : to, to);
}

// Left and Right without Shift first collapse a selection onto its end.
void MoveSideways(HWND edit, bool right) {
  EditState* e = StateOf(edit);
  if (!KeyHeld(VK_SHIFT) && e->anchor != e->caret) {
    int32_t end = right ? SelectionEnd(e) : SelectionStart(e);
    SetSelection(edit, end, end);
    return;
  }
  Text t = TextOfEdit(edit);
  MoveCaret(edit, right ? NextStop(t, e->caret) : PrevStop(t, e->caret));
}

void MoveVertically(HWND edit, bool down) {
  if (!IsMultiLine(edit)) {
    MoveSideways(edit, down);
    return;
  }
  EditState* e = StateOf(edit);
  Text t = TextOfEdit(edit);
  int32_t line = LineIndex(t, e->caret);
  int32_t target = line + (down ? 1 : -1);
  if (target < 0 || target >= LineCount(t)) return;
  int32_t column = e->caret - LineStart(t, e->caret);
  int32_t start = StartOfLine(t, target);
  int32_t end = LineEnd(t, start);
  MoveCaret(edit, SnapToStop(t, start + column < end ? start + column : end));
}

void MoveToEdge(HWND edit, bool toEnd) {
  EditState* e = StateOf(edit);
  Text t = TextOfEdit(edit);
  if (KeyHeld(VK_CONTROL)) {
    MoveCaret(edit, toEnd ? t.length : 0);
    return;
  }
  MoveCaret(edit, toEnd ? LineEnd(t, e->caret) : LineStart(t, e->caret));
}

// Return in a dialog's multi-line edit that keeps no line breaks presses the
// dialog's default button, as Return does everywhere else in a dialog.
void PressDefaultButton(HWND edit) {
  Window* w = Find(edit);
  if (w == nullptr || (w->style & (ES_MULTILINE | ES_WANTRETURN)) != ES_MULTILINE) return;
  Window* parent = Find(w->parent);
  if (parent == nullptr || parent->kind != WindowKind::kDialog) return;
  HWND dialog = parent->handle;
  int32_t id = LOWORD(static_cast<uintptr_t>(SendMessageA(dialog, DM_GETDEFID, 0, 0)));
  HWND button = GetDlgItem(dialog, id);
  if (button != nullptr && !IsWindowEnabled(button)) return;
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace

void OnChar(HWND edit, uint32_t byte) {
  EditState* e = StateOf(edit);
  if (e == nullptr) return;
  if (IsTypedByte(edit, byte)) {
    if (!e->readOnly) TypeByte(edit, byte);
    return;
  }
  // A control character ends a character that never got its last byte.
  e->pendingCount = 0;
  switch (byte) {
    case VK_BACK: DeleteOne(edit, false); return;
    case '\r': TypeReturn(edit); return;
    case kSelectAll: SetSelection(edit, 0, TextOfEdit(edit).length); return;
    case kCopy: CopySelection(edit); return;
    case kCut: CutSelection(edit); return;
    case kPaste: Paste(edit); return;
    default: return;
  }
}

void OnKeyDown(HWND edit, int32_t virtualKey) {
  if (StateOf(edit) == nullptr) return;
  switch (virtualKey) {
    case VK_LEFT: MoveSideways(edit, false); return;
    case VK_RIGHT: MoveSideways(edit, true); return;
    case VK_UP: MoveVertically(edit, false); return;
    case VK_DOWN: MoveVertically(edit, true); return;
    case VK_HOME: MoveToEdge(edit, false); return;
    case VK_END: MoveToEdge(edit, true); return;
    case VK_DELETE:
      if (KeyHeld(VK_SHIFT)) CutSelection(edit);
      else DeleteOne(edit, true);
      return;
    case VK_RETURN: PressDefaultButton(edit); return;
    default: return;
  }
}

bool CopySelection(HWND edit) {
  EditState* e = StateOf(edit);
  if (e == nullptr || e->anchor == e->caret) return false;
  int32_t start = SelectionStart(e), length = SelectionEnd(e) - start;
  auto* copy = static_cast<char*>(HostAlloc(static_cast<size_t>(length) + 1));
  if (copy == nullptr) return false;
  std::memcpy(copy, TextOfEdit(edit).bytes + start, static_cast<size_t>(length));
  copy[length] = 0;
  bool copied = false;
  if (OpenClipboard(edit)) {
    EmptyClipboard();
    copied = SetClipboardText(copy) != 0;
    CloseClipboard();
  }
  HostFree(copy);
  return copied;
}

void CutSelection(HWND edit) {
  EditState* e = StateOf(edit);
  if (e == nullptr || e->readOnly || e->anchor == e->caret) return;
  // Only text that reached the clipboard may leave the control.
  if (CopySelection(edit)) ClearSelection(edit);
}

void Paste(HWND edit) {
  if (!MayChange(edit) || !OpenClipboard(edit)) return;
  const char* text = GetClipboardText();
  int32_t length = text != nullptr ? static_cast<int32_t>(std::strlen(text)) : 0;
  if (!IsMultiLine(edit)) length = static_cast<int32_t>(std::strcspn(text != nullptr ? text : "", "\r\n"));
  Change change{false, false};
  if (length > 0) change = ReplaceSelection(edit, text, length);
  // The parent may use the clipboard itself when it hears of the change.
  CloseClipboard();
  Announce(edit, change);
}

void ClearSelection(HWND edit) {
  EditState* e = StateOf(edit);
  if (e == nullptr || e->readOnly || e->anchor == e->caret) return;
  Announce(edit, ReplaceSelection(edit, "", 0));
}

}  // namespace xev::ui::kit::edit
