// Combo boxes: a list of names to choose one from, sorted with CBS_SORT. The
// drop-down part is the presenter's business; the kit keeps the entries and
// the selection.
#include <new>

#include "platform/ui/entry_list.h"
#include "platform/ui/kit.h"
#include "xev/xevhost.h"

namespace xev::ui::kit {
namespace {

constexpr uint32_t kSortStyle = 0x0100;  // CBS_SORT

struct ComboBoxState {
  EntryList entries;
  int32_t selected = -1;
};

ComboBoxState* StateOf(HWND combo) {
  Window* w = Find(combo);
  return w != nullptr && w->kind == WindowKind::kComboBox ? static_cast<ComboBoxState*>(w->control) : nullptr;
}

LRESULT Add(HWND combo, ComboBoxState& s, const char* text) {
  Window* w = Find(combo);
  int32_t index = s.entries.Add(text, w != nullptr && (w->style & kSortStyle) != 0);
  if (index < 0) return CB_ERRSPACE;
  if (s.selected >= index) ++s.selected;
  PresentChanged(combo, XEV_UI_CHANGED_ENTRIES);
  return index;
}

LRESULT Delete(HWND combo, ComboBoxState& s, int32_t index) {
  if (!s.entries.Remove(index)) return CB_ERR;
  if (s.selected == index) s.selected = -1;
  else if (s.selected > index) --s.selected;
  PresentChanged(combo, XEV_UI_CHANGED_ENTRIES);
  return s.entries.Count();
}

LRESULT SetCurSel(HWND combo, ComboBoxState& s, int32_t index) {
  bool valid = s.entries.Holds(index);
  int32_t selected = valid ? index : -1;
  if (selected != s.selected) {
    s.selected = selected;
    PresentChanged(combo, XEV_UI_CHANGED_ENTRIES);
  }
  return valid ? index : CB_ERR;
}

LRESULT Create(HWND combo) {
  Window* w = Find(combo);
  void* block = w != nullptr ? HostAlloc(sizeof(ComboBoxState)) : nullptr;
  if (block == nullptr) return -1;
  w->control = new (block) ComboBoxState();
  return 0;
}

}  // namespace

LRESULT XEV_CALL ComboBoxProc(HWND combo, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) return Create(combo);
  ComboBoxState* s = StateOf(combo);
  if (s == nullptr) return DefWindowProcA(combo, message, wParam, lParam);
  auto index = static_cast<int32_t>(wParam);
  switch (message) {
    case WM_NCDESTROY:
      // The window table frees the state block itself; the entries are ours.
      s->entries.Clear();
      return 0;
    case CB_ADDSTRING: return Add(combo, *s, reinterpret_cast<const char*>(lParam));
    case CB_DELETESTRING: return Delete(combo, *s, index);
    case CB_GETCOUNT: return s->entries.Count();
    case CB_GETLBTEXT: {
      int32_t length = s->entries.CopyText(index, reinterpret_cast<char*>(lParam));
      return length >= 0 ? length : CB_ERR;
    }
    case CB_GETLBTEXTLEN: {
      int32_t length = s->entries.TextLength(index);
      return length >= 0 ? length : CB_ERR;
    }
    case CB_RESETCONTENT:
      s->entries.Clear();
      s->selected = -1;
      PresentChanged(combo, XEV_UI_CHANGED_ENTRIES);
      return 0;
    case CB_SETCURSEL: return SetCurSel(combo, *s, index);
    case CB_GETCURSEL: return s->selected >= 0 ? s->selected : CB_ERR;
    default: return DefWindowProcA(combo, message, wParam, lParam);
  }
}

}  // namespace xev::ui::kit
