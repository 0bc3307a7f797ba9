// The clipboard: one text, shared by every window of the kit.
#include <cstring>

#include "platform/ui/kit.h"
#include "xev/xevhost.h"

namespace xev::ui {

BOOL OpenClipboard(HWND owner) {
  kit::State& s = kit::S();
  if (s.clipboardOpen || (owner != nullptr && kit::Find(owner) == nullptr)) return 0;
  s.clipboardOpen = true;
  return 1;
}

BOOL CloseClipboard() {
  kit::State& s = kit::S();
  if (!s.clipboardOpen) return 0;
  s.clipboardOpen = false;
  return 1;
}

BOOL EmptyClipboard() {
  kit::State& s = kit::S();
  if (!s.clipboardOpen) return 0;
  HostFree(s.clipboard);
  s.clipboard = nullptr;
  return 1;
}

BOOL SetClipboardText(const char* text) {
  kit::State& s = kit::S();
  if (!s.clipboardOpen || text == nullptr) return 0;
  size_t length = std::strlen(text);
  auto* copy = static_cast<char*>(HostAlloc(length + 1));
  if (copy == nullptr) return 0;
  std::memcpy(copy, text, length + 1);
  HostFree(s.clipboard);
  s.clipboard = copy;
  return 1;
}

const char* GetClipboardText() { return kit::S().clipboard; }

BOOL IsClipboardFormatAvailable(uint32_t format) {
  return format == CF_TEXT && kit::S().clipboard != nullptr ? 1 : 0;
}

}  // namespace xev::ui
