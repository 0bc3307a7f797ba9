// Message boxes: modal dialogs of the kit built from the text, the caption
// and the type word (buttons, icon, default button).
#include <cstring>
#include <iterator>

#include "platform/ui/kit.h"
#include "resources/dialog_templates.h"

namespace xev::ui {
namespace {

// Control ids of a message box besides its buttons' answers.
constexpr int32_t kIconId = 20;
constexpr int32_t kTextId = 21;
constexpr int16_t kButtonWidth = 50;
constexpr int16_t kButtonHeight = 14;
constexpr int16_t kGap = 6;
constexpr int16_t kIconSize = 20;

struct BoxButton {
  int32_t id;
  const char* caption;
};

int32_t ButtonsOf(uint32_t type, BoxButton* out) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      out[0] = {IDOK, "OK"};
      out[1] = {IDCANCEL, "Cancel"};
      return 2;
    case MB_YESNOCANCEL:
      out[0] = {IDYES, "&Yes"};
      out[1] = {IDNO, "&No"};
      out[2] = {IDCANCEL, "Cancel"};
      return 3;
    case MB_YESNO:
      out[0] = {IDYES, "&Yes"};
      out[1] = {IDNO, "&No"};
      return 2;
    default:
      out[0] = {IDOK, "OK"};
      return 1;
  }
}

const char* IconName(uint32_t type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONSTOP: return "stop";
    case MB_ICONQUESTION: return "question";
    case MB_ICONEXCLAMATION: return "exclamation";
    case MB_ICONINFORMATION: return "information";
    default: return nullptr;
  }
}

// Text extent in dialog units: 4 per character across, 8 per line down.
void MeasureText(const char* text, int16_t* width, int16_t* height) {
  int32_t longest = 0, current = 0, lines = 1;
  for (const char* p = text; *p != 0; ++p) {
    if (*p == '\n') {
      ++lines;
      current = 0;
      continue;
    }
    if (++current > longest) longest = current;
  }
  if (longest > 120) {
    lines += longest / 120;
    longest = 120;
  }
  *width = static_cast<int16_t>(longest * 4);
  *height = static_cast<int16_t>(lines * 8);
}

void CopyCut(char* dst, size_t size, const char* src) {
  size_t n = std::strlen(src);
  if (n > size - 1) n = size - 1;
  std::memcpy(dst, src, n);
  dst[n] = 0;
}

intptr_t XEV_CALL MessageBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongA(box, DWL_USER, lParam);
      auto type = static_cast<uint32_t>(lParam);
      BoxButton buttons[3];
      int32_t count = ButtonsOf(type, buttons);
      int32_t index = static_cast<int32_t>((type & MB_DEFMASK) >> 8);
      if (index >= count) index = 0;
      SetFocus(GetDlgItem(box, buttons[index].id));
      return 0;
    }
    case WM_COMMAND: {
      auto type = static_cast<uint32_t>(GetWindowLongA(box, DWL_USER));
      BoxButton buttons[3];
      int32_t count = ButtonsOf(type, buttons);
      int32_t id = LOWORD(wParam);
      for (int32_t i = 0; i < count; ++i)
        if (buttons[i].id == id) return EndDialog(box, id);
      // Escape answers Cancel, or OK in a box that has nothing else.
      if (id == IDCANCEL && (type & MB_TYPEMASK) == MB_OK) return EndDialog(box, IDOK);
      return 1;
    }
    default: return 0;
  }
}

}  // namespace

int32_t MessageBoxA(HWND owner, const char* text, const char* caption, uint32_t type) {
  if (owner != nullptr && kit::Find(owner) == nullptr) return 0;
  if (kit::S().modalDepth >= kit::kMaxModalDepth) return 0;
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "Error";
  kit::State& s = kit::S();
  CopyCut(s.lastBoxText, sizeof s.lastBoxText, text);
  CopyCut(s.lastBoxCaption, sizeof s.lastBoxCaption, caption);

  BoxButton buttons[3];
  int32_t count = ButtonsOf(type, buttons);
  int32_t defaultIndex = static_cast<int32_t>((type & MB_DEFMASK) >> 8);
  if (defaultIndex >= count) defaultIndex = 0;
  const char* icon = IconName(type);

  int16_t textWidth, textHeight;
  MeasureText(text, &textWidth, &textHeight);
  auto textLeft = static_cast<int16_t>(icon != nullptr ? kGap * 2 + kIconSize : kGap * 2);
  auto buttonsWidth = static_cast<int16_t>(count * kButtonWidth + (count - 1) * kGap);
  int16_t width = textLeft + textWidth + kGap * 2;
  if (width < buttonsWidth + kGap * 4) width = static_cast<int16_t>(buttonsWidth + kGap * 4);
  int16_t bodyHeight = textHeight > kIconSize ? textHeight : kIconSize;
  auto buttonsTop = static_cast<int16_t>(kGap * 2 + bodyHeight + kGap);
  auto height = static_cast<int16_t>(buttonsTop + kButtonHeight + kGap);

  resources::DialogControl controls[5];
  int32_t n = 0;
  if (icon != nullptr) controls[n++] = {kIconId, "Static", icon, 0x3 /* an icon */, kGap * 2, kGap * 2, kIconSize, kIconSize, false, {}};
  controls[n++] = {kTextId, "Static", text, SS_LEFT, textLeft, kGap * 2, textWidth, textHeight, false, {}};
  auto left = static_cast<int16_t>((width - buttonsWidth) / 2);
  for (int32_t i = 0; i < count; ++i) {
    uint32_t style = (i == defaultIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP;
    controls[n++] = {buttons[i].id, "Button", buttons[i].caption, style,
                     static_cast<int16_t>(left + i * (kButtonWidth + kGap)), buttonsTop, kButtonWidth, kButtonHeight,
                     false, {}};
  }
  resources::DialogTemplate box{"", caption, "#32770", "MS SANS SERIF", 8, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                                kGap * 4, kGap * 4, width, height, controls, n, 0, 0};
  HWND dialog = kit::CreateDialogFromTemplate(&box, owner, MessageBoxProc, static_cast<LPARAM>(type));
  if (dialog == nullptr) return 0;
  return static_cast<int32_t>(kit::RunDialog(dialog, owner));
}

}  // namespace xev::ui
