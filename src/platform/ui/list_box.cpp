// List boxes: single selection, sorted or in the order entries were added,
// optionally drawn by their owner in rows of a fixed height. The list keeps
// its entries and selection; a presenter reads them back to show the list.
#include <new>

#include "platform/ui/entry_list.h"
#include "platform/ui/kit.h"
#include "xev/xevhost.h"

namespace xev::ui::kit {
namespace {

// Rows taller than this would not fit the byte the height travels in.
constexpr int32_t kMaxItemHeight = 255;

// Typing in a list selects by what was typed within the last second.
constexpr uint32_t kTypeAheadPauseMs = 1000;

struct ListBoxState {
  EntryList entries;
  int32_t selected = -1;
  int32_t top = 0;
  int32_t itemHeight = kLineHeight;
  bool focused = false;
  char typed[EntryList::kMaxPrefix] = {};
  int32_t typedLength = 0;
  uint32_t typedAt = 0;
};

ListBoxState* StateOf(HWND list) {
  Window* w = Find(list);
  return w != nullptr && w->kind == WindowKind::kListBox ? static_cast<ListBoxState*>(w->control) : nullptr;
}

uint32_t StyleOf(HWND list) {
  Window* w = Find(list);
  return w != nullptr ? w->style : 0;
}

bool Notifies(HWND list) { return (StyleOf(list) & LBS_NOTIFY) != 0; }
bool OwnerDrawn(HWND list) { return (StyleOf(list) & LBS_OWNERDRAWFIXED) != 0; }

int32_t ClientHeight(HWND list) {
  RECT r{};
  GetClientRect(list, &r);
  return r.bottom;
}

// Pixels a bordered list's frame takes at its top and at its bottom: the rows
// live inside it, so a row that would reach into it is not counted as shown.
constexpr int32_t kFrameWidth = 2;

// Whole rows that fit inside the frame; at least one, so that scrolling
// arithmetic holds for a list that has no height yet.
int32_t VisibleRows(HWND list, const ListBoxState& s) {
  int32_t inside = ClientHeight(list) - ((StyleOf(list) & WS_BORDER) ? 2 * kFrameWidth : 0);
  int32_t rows = inside / s.itemHeight;
  return rows > 0 ? rows : 1;
}

RECT ItemRect(HWND list, const ListBoxState& s, int32_t index) {
  RECT client{};
  GetClientRect(list, &client);
  int32_t top = (index - s.top) * s.itemHeight;
  return RECT{0, top, client.right, top + s.itemHeight};
}

// The highest top index that still fills the list: a list never scrolls
// past its last page.
int32_t ClampTop(HWND list, const ListBoxState& s, int32_t top) {
  int32_t last = s.entries.Count() - VisibleRows(list, s);
  if (top > last) top = last;
  return top > 0 ? top : 0;
}

void Changed(HWND list) {
  InvalidateRect(list, nullptr, 0);
  PresentChanged(list, XEV_UI_CHANGED_ENTRIES);
}

void ScrollIntoView(HWND list, ListBoxState& s, int32_t index) {
  if (index < 0) return;
  int32_t rows = VisibleRows(list, s);
  if (index < s.top) s.top = index;
  else if (index >= s.top + rows) s.top = index - rows + 1;
  s.top = ClampTop(list, s, s.top);
}

// Selects index (-1 for none) and brings it into view; true when the
// selection moved.
bool Select(HWND list, int32_t index) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr || s->selected == index) return false;
  s->selected = index;
  ScrollIntoView(list, *s, index);
  Changed(list);
  return true;
}

void NotifySelChange(HWND list, bool changed) {
  if (changed && Notifies(list)) Notify(list, LBN_SELCHANGE);
}

// The entry under a client point, or -1 for a point outside every entry.
int32_t EntryAt(HWND list, const ListBoxState& s, int32_t x, int32_t y) {
  RECT client{};
  GetClientRect(list, &client);
  if (x < 0 || x >= client.right || y < 0 || y >= client.bottom) return -1;
  int32_t index = s.top + y / s.itemHeight;
  return s.entries.Holds(index) ? index : -1;
}

// Keeps the selection on the same entry after an insertion at index.
void ShiftAfterInsert(HWND list, ListBoxState& s, int32_t index) {
  if (s.selected >= index) ++s.selected;
  s.top = ClampTop(list, s, s.top);
  Changed(list);
}

LRESULT AddOrInsert(HWND list, int32_t index, const char* text) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr) return LB_ERR;
  if (index == -1) index = s->entries.Count();
  if (index < 0 || index > s->entries.Count()) return LB_ERR;
  if (s->entries.Insert(index, text, 0) < 0) return LB_ERRSPACE;
  ShiftAfterInsert(list, *s, index);
  return index;
}

LRESULT DeleteEntry(HWND list, int32_t index) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr || !s->entries.Remove(index)) return LB_ERR;
  if (s->selected == index) s->selected = -1;
  else if (s->selected > index) --s->selected;
  s->top = ClampTop(list, *s, s->top);
  Changed(list);
  return s->entries.Count();
}

void ResetContent(HWND list) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr) return;
  s->entries.Clear();
  s->selected = -1;
  s->top = 0;
  Changed(list);
}

LRESULT SetCurSel(HWND list, int32_t index) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr) return LB_ERR;
  bool valid = s->entries.Holds(index);
  Select(list, valid ? index : -1);
  return valid ? index : LB_ERR;
}

// Asks the owner for the row height of an owner-drawn list.
void MeasureItems(HWND list) {
  Window* w = Find(list);
  if (w == nullptr || w->parent == nullptr) return;
  RECT client{};
  GetClientRect(list, &client);
  MEASUREITEMSTRUCT measure{ODT_LISTBOX, static_cast<UINT>(w->id), 0, static_cast<UINT>(client.right),
                            static_cast<UINT>(kLineHeight), 0};
  SendMessageA(w->parent, WM_MEASUREITEM, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&measure));
  ListBoxState* s = StateOf(list);
  if (s != nullptr && measure.itemHeight > 0 && measure.itemHeight <= static_cast<UINT>(kMaxItemHeight))
    s->itemHeight = static_cast<int32_t>(measure.itemHeight);
}

// Has the owner draw one entry. The drawing goes into a record on the stack
// that is handed to the entry afterwards: the owner may change the list
// while it draws, and the entry must still exist and be the same one.
bool DrawEntry(HWND list, HWND parent, int32_t index) {
  ListBoxState* s = StateOf(list);
  Window* w = Find(list);
  if (s == nullptr || w == nullptr || !s->entries.Holds(index)) return false;
  const Entry* entry = s->entries.At(index);
  const char* textBefore = entry->text;
  RECT rc = ItemRect(list, *s, index);
  UINT state = (s->selected == index ? ODS_SELECTED : 0u) | (s->focused && s->selected == index ? ODS_FOCUS : 0u);
  DrawnRecord record{};
  record.drawn = true;
  record.itemRect = rc;
  DrawContext dc{list, &record, false};
  DRAWITEMSTRUCT draw{ODT_LISTBOX, static_cast<UINT>(w->id), static_cast<UINT>(index), ODA_DRAWENTIRE, state,
                      list, &dc, rc, entry->data};
  SendMessageA(parent, WM_DRAWITEM, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&draw));
  s = StateOf(list);
  Entry* now = s != nullptr ? s->entries.At(index) : nullptr;
  if (now == nullptr || now->text != textBefore) {
    ClearDrawnRecord(&record);
    return false;
  }
  ClearDrawnRecord(&now->drawn);
  now->drawn = record;
  return true;
}

void Paint(HWND list) {
  Window* w = Find(list);
  if (w == nullptr || w->parent == nullptr || !OwnerDrawn(list)) return;
  HWND parent = w->parent;
  int32_t height = ClientHeight(list);
  bool drewAny = false;
  for (int32_t row = 0;; ++row) {
    ListBoxState* s = StateOf(list);
    if (s == nullptr || row * s->itemHeight >= height) break;
    int32_t index = s->top + row;
    if (!s->entries.Holds(index)) break;
    drewAny = DrawEntry(list, parent, index) || drewAny;
  }
  if (drewAny) PresentChanged(list, XEV_UI_CHANGED_DRAWING);
}

void SetFocused(HWND list, bool focused) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr) return;
  s->focused = focused;
  InvalidateRect(list, nullptr, 0);
  if (Notifies(list)) Notify(list, focused ? LBN_SETFOCUS : LBN_KILLFOCUS);
}

void Click(HWND list, LPARAM point, bool doubleClick) {
  SetFocus(list);
  ListBoxState* s = StateOf(list);
  if (s == nullptr) return;
  int32_t index = EntryAt(list, *s, GET_X(point), GET_Y(point));
  if (index < 0) return;
  NotifySelChange(list, Select(list, index));
  if (doubleClick && Notifies(list) && StateOf(list) != nullptr) Notify(list, LBN_DBLCLK);
}

void Key(HWND list, int32_t key) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr || s->entries.Count() == 0) return;
  int32_t last = s->entries.Count() - 1;
  int32_t target = s->selected;
  switch (key) {
    case VK_UP: target = s->selected > 0 ? s->selected - 1 : 0; break;
    case VK_DOWN: target = s->selected < last ? s->selected + 1 : last; break;
    case VK_HOME: target = 0; break;
    case VK_END: target = last; break;
    default: return;
  }
  NotifySelChange(list, Select(list, target));
}

bool AllTheSame(const char* bytes, int32_t length) {
  for (int32_t i = 1; i < length; ++i)
    if (bytes[i] != bytes[0]) return false;
  return true;
}

// Selects the entry that begins with what was typed: the same letter again
// walks through the entries that begin with it, more letters narrow the
// choice from the entry selected now. Space alone is left to the list's
// owner (the editor inserts the entry).
void TypeAhead(HWND list, uint32_t byte) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr || byte < 0x20 || byte == 0x7F) return;
  uint32_t now = Now();
  if (now - s->typedAt >= kTypeAheadPauseMs || s->typedLength == EntryList::kMaxPrefix) s->typedLength = 0;
  s->typedAt = now;
  if (byte == ' ' && s->typedLength == 0) return;
  s->typed[s->typedLength++] = static_cast<char>(byte);
  int32_t found = AllTheSame(s->typed, s->typedLength) ? s->entries.FindPrefix(s->selected, s->typed, 1)
                                                       : s->entries.FindPrefix(s->selected - 1, s->typed, s->typedLength);
  if (found >= 0) NotifySelChange(list, Select(list, found));
}

LRESULT SetTopIndex(HWND list, int32_t index) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr || !s->entries.Holds(index)) return LB_ERR;
  int32_t top = ClampTop(list, *s, index);
  if (top != s->top) {
    s->top = top;
    Changed(list);
  }
  return 0;
}

LRESULT GetItemRect(HWND list, int32_t index, RECT* out) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr || out == nullptr || !s->entries.Holds(index)) return LB_ERR;
  *out = ItemRect(list, *s, index);
  return 1;
}

// The nearest entry in the low word; the high word is 1 when the point lies
// on no entry.
LRESULT ItemFromPoint(HWND list, LPARAM point) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr) return LB_ERR;
  int32_t x = GET_X(point), y = GET_Y(point);
  int32_t index = EntryAt(list, *s, x, y);
  if (index >= 0) return MAKELPARAM(index, 0);
  int32_t nearest = y < 0 ? s->top : s->top + y / s->itemHeight;
  int32_t last = s->entries.Count() - 1;
  if (nearest > last) nearest = last;
  return MAKELPARAM(nearest > 0 ? nearest : 0, 1);
}

LRESULT SetItemHeight(HWND list, int32_t height) {
  ListBoxState* s = StateOf(list);
  if (s == nullptr || height <= 0 || height > kMaxItemHeight) return LB_ERR;
  s->itemHeight = height;
  s->top = ClampTop(list, *s, s->top);
  Changed(list);
  return 0;
}

LRESULT Create(HWND list) {
  Window* w = Find(list);
  void* block = w != nullptr ? HostAlloc(sizeof(ListBoxState)) : nullptr;
  if (block == nullptr) return -1;
  w->control = new (block) ListBoxState();
  if (OwnerDrawn(list)) MeasureItems(list);
  return 0;
}

}  // namespace

const DrawnRecord* ListDrawnRecord(HWND list, int32_t index) {
  ListBoxState* s = StateOf(list);
  const Entry* entry = s != nullptr ? s->entries.At(index) : nullptr;
  return entry != nullptr ? &entry->drawn : nullptr;
}

LRESULT XEV_CALL ListBoxProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  auto index = static_cast<int32_t>(wParam);
  const auto* text = reinterpret_cast<const char*>(lParam);
  switch (message) {
    case WM_CREATE: return Create(list);
    case WM_NCDESTROY:
      // The window table frees the state block itself; the entries are ours.
      if (ListBoxState* s = StateOf(list)) s->entries.Clear();
      return 0;
    case WM_PAINT:
      Paint(list);
      return DefWindowProcA(list, message, wParam, lParam);
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS: SetFocused(list, true); return 0;
    case WM_KILLFOCUS: SetFocused(list, false); return 0;
    case WM_LBUTTONDOWN: Click(list, lParam, false); return 0;
    case WM_LBUTTONDBLCLK: Click(list, lParam, true); return 0;
    case WM_KEYDOWN: Key(list, index); return 0;
    case WM_CHAR: TypeAhead(list, static_cast<uint32_t>(wParam)); return 0;
    case LB_ADDSTRING: {
      ListBoxState* s = StateOf(list);
      if (s == nullptr) return LB_ERR;
      bool sorted = (StyleOf(list) & LBS_SORT) != 0;
      return AddOrInsert(list, sorted ? s->entries.SortedPosition(text) : -1, text);
    }
    case LB_INSERTSTRING: return AddOrInsert(list, index, text);
    case LB_DELETESTRING: return DeleteEntry(list, index);
    case LB_RESETCONTENT: ResetContent(list); return 0;
    case LB_GETCOUNT: {
      ListBoxState* s = StateOf(list);
      return s != nullptr ? s->entries.Count() : LB_ERR;
    }
    case LB_SETCURSEL: return SetCurSel(list, index);
    case LB_GETCURSEL: {
      ListBoxState* s = StateOf(list);
      return s != nullptr && s->selected >= 0 ? s->selected : LB_ERR;
    }
    case LB_GETTEXT: {
      ListBoxState* s = StateOf(list);
      int32_t length = s != nullptr ? s->entries.CopyText(index, reinterpret_cast<char*>(lParam)) : -1;
      return length >= 0 ? length : LB_ERR;
    }
    case LB_GETTEXTLEN: {
      ListBoxState* s = StateOf(list);
      int32_t length = s != nullptr ? s->entries.TextLength(index) : -1;
      return length >= 0 ? length : LB_ERR;
    }
    case LB_SETITEMDATA: {
      ListBoxState* s = StateOf(list);
      Entry* entry = s != nullptr ? s->entries.At(index) : nullptr;
      if (entry == nullptr) return LB_ERR;
      entry->data = lParam;
      return 1;
    }
    case LB_GETITEMDATA: {
      ListBoxState* s = StateOf(list);
      const Entry* entry = s != nullptr ? s->entries.At(index) : nullptr;
      return entry != nullptr ? entry->data : LB_ERR;
    }
    case LB_FINDSTRINGEXACT: {
      ListBoxState* s = StateOf(list);
      int32_t found = s != nullptr ? s->entries.FindExact(index, text) : -1;
      return found >= 0 ? found : LB_ERR;
    }
    case LB_SETTOPINDEX: return SetTopIndex(list, index);
    case LB_GETTOPINDEX: {
      ListBoxState* s = StateOf(list);
      return s != nullptr ? s->top : LB_ERR;
    }
    case LB_GETITEMRECT: return GetItemRect(list, index, reinterpret_cast<RECT*>(lParam));
    case LB_ITEMFROMPOINT: return ItemFromPoint(list, lParam);
    case LB_SETITEMHEIGHT: return SetItemHeight(list, LOWORD(static_cast<uintptr_t>(lParam)));
    case LB_GETITEMHEIGHT: {
      ListBoxState* s = StateOf(list);
      return s != nullptr ? s->itemHeight : LB_ERR;
    }
    default: return DefWindowProcA(list, message, wParam, lParam);
  }
}

}  // namespace xev::ui::kit
