// The text view: the whole text of the formula, range or set selected in the
// editor, in an edit that scrolls but takes neither typing nor a mouse
// selection, under a caption that says what kind of text it is and whose.
#include <algorithm>
#include <cstring>

#include "editor/editor_state.h"
#include "xev/xevui.h"

namespace xev::editor {
namespace {

using namespace xev::ui;

constexpr int32_t kCaptionSize = 129;
constexpr uint32_t kNoLabel = 0;  // no string has it: an empty caption
constexpr const char* kSeparator = " - ";

// One view at most, opened by the one editor. The caption buffer holds the
// label of what is shown and the separator, ready for the name to follow.
struct TextViewState {
  HWND dialog = nullptr;
  char* caption = nullptr;
  WNDPROC editProc = nullptr;
};
TextViewState g_textView;

uint32_t LabelOfKind(int32_t kindOrMode) {
  if (kindOrMode == kKindSet) return 219;    // "Set Text"
  if (kindOrMode == kKindRange) return 218;  // "Range Text"
  return 217;                                // "Formula Text"
}

void ReleaseCaption() {
  HostFree(g_textView.caption);
  g_textView.caption = nullptr;
  g_textView.dialog = nullptr;
}

// Beside the editor, never over it: below it where the screen has room, else
// to its right, else to its left, and within the screen in any case.
void PlaceBesideEditor(HWND dialog) {
  RECT editor{}, self{};
  if (!GetWindowRect(GetWindow(dialog, GW_OWNER), &editor) || !GetWindowRect(dialog, &self)) return;
  int32_t width = self.right - self.left, height = self.bottom - self.top;
  int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  int32_t left = editor.left, top = editor.bottom;
  if (top + height > screenHeight) {
    top = editor.top;
    left = editor.right + width <= screenWidth ? editor.right : editor.left - width;
  }
  left = std::clamp(left, 0, std::max(screenWidth - width, 0));
  top = std::clamp(top, 0, std::max(screenHeight - height, 0));
  MoveWindow(dialog, left, top, width, height, 0);
}

void InitTextView(HWND dialog) {
  // A view left by an editor that went away without closing it gives way.
  ReleaseCaption();
  g_textView.dialog = dialog;
  HWND edit = GetDlgItem(dialog, kIdCompanionControl);
  g_textView.editProc = reinterpret_cast<WNDPROC>(GetWindowLongA(edit, GWL_WNDPROC));
  SetWindowLongA(edit, GWL_WNDPROC, reinterpret_cast<intptr_t>(ViewEditSubProc));
  g_textView.caption = static_cast<char*>(HostAlloc(kCaptionSize));
  PlaceBesideEditor(dialog);
  ShowWindow(dialog, SW_SHOWNORMAL);
}

// The caption is the label alone and the text is emptied: what a view with
// nothing selected shows, and what one shows when the buffers for a name and
// a text cannot be had, rather than an old text under a new caption. Without
// a caption buffer the caption stays as it is.
void ShowLabelOnly(HWND dialog, uint32_t label) {
  if (g_textView.caption != nullptr) {
    LoadLabel(label, g_textView.caption, kCaptionSize);
    SetWindowTextA(dialog, g_textView.caption);
  }
  SetDlgItemTextA(dialog, kIdCompanionControl, "");
}

void ShowMode(HWND dialog, WPARAM mode) {
  bool known = mode <= static_cast<WPARAM>(kModeSet);
  ShowLabelOnly(dialog, known ? LabelOfKind(static_cast<int32_t>(mode)) : kNoLabel);
}

// The label and the separator in the caption buffer; their length.
size_t LoadPrefix(uint32_t label) {
  char* prefix = g_textView.caption;
  if (prefix == nullptr) return 0;
  LoadLabel(label, prefix, kCaptionSize);
  // A label of the full buffer leaves no room: the separator is cut, never overrun.
  size_t length = std::strlen(prefix);
  for (const char* s = kSeparator; *s != '\0' && length + 1 < kCaptionSize; ++s) prefix[length++] = *s;
  prefix[length] = '\0';
  return length;
}

size_t LengthOrNone(int32_t length) { return length > 0 ? static_cast<size_t>(length) : 0; }

void ShowExpression(HWND dialog, HEXP exp) {
  ExprContext* ec = Editor().ec;
  uint32_t label = LabelOfKind(KindOf(exp));
  size_t prefixLength = LoadPrefix(label);
  size_t nameLength = LengthOrNone(XEVGetExpressionNameLength(ec, exp));
  size_t textLength = LengthOrNone(XEVGetExpressionTextLength(ec, exp));
  auto* caption = static_cast<char*>(HostAlloc(prefixLength + nameLength + 1));
  auto* work = static_cast<char*>(HostAlloc((nameLength > textLength ? nameLength : textLength) + 1));
  if (caption == nullptr || work == nullptr) {
    HostFree(caption);
    HostFree(work);
    ShowLabelOnly(dialog, label);
    return;
  }
  if (g_textView.caption != nullptr) {
    XEVGetExpressionName(ec, exp, static_cast<int32_t>(nameLength + 1), work);
    std::memcpy(caption, g_textView.caption, prefixLength);
    std::memcpy(caption + prefixLength, work, nameLength + 1);
    SetWindowTextA(dialog, caption);
  }
  XEVGetExpressionText(ec, exp, static_cast<int32_t>(textLength + 1), work);
  SetDlgItemTextA(dialog, kIdCompanionControl, work);
  HostFree(caption);
  HostFree(work);
}

void CloseTextView(HWND dialog) {
  ReleaseCaption();
  DestroyWindow(dialog);
  Editor().textView = nullptr;
  TextViewClosed();
}

// A view that goes with its editor hears no WM_CLOSE; its buffer goes here.
void TextViewDestroyed(HWND dialog) {
  if (g_textView.dialog == dialog) ReleaseCaption();
  if (Editor().textView == dialog) Editor().textView = nullptr;
}

}  // namespace
}  // namespace xev::editor

extern "C" {

XEV_API intptr_t XEV_CALL XevViewTextDlgProc(XEVHWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  using namespace xev::editor;
  switch (message) {
    case WM_INITDIALOG: InitTextView(dialog); return 1;
    case kMsgShowExpression:
      if (lParam == 0) {
        ShowMode(dialog, wParam);
      } else {
        ShowExpression(dialog, reinterpret_cast<HEXP>(lParam));
      }
      return 1;
    case WM_CLOSE: CloseTextView(dialog); return 1;
    case WM_DESTROY: TextViewDestroyed(dialog); return 0;
    default: return 0;
  }
}

// The text scrolls but cannot be typed into, selected with the mouse or
// walked with the keys. Return alone goes on, so that the edit hands it to
// the dialog as every multi-line edit of a dialog does.
XEV_API intptr_t XEV_CALL ViewEditSubProc(XEVHWND edit, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  using namespace xev::ui;
  if (xev::editor::SwallowedByReadOnlyText(message, wParam)) return 0;
  WNDPROC previous = xev::editor::g_textView.editProc;
  if (previous == nullptr) previous = GetClassWindowProc(edit);
  return CallWindowProcA(previous, edit, message, wParam, lParam);
}

}  // extern "C"
