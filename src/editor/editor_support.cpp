// Small services the editor's files share: the one editor state, labels,
// expression kinds and lookups.
#include <cstring>

#include "core/core.h"
#include "editor/editor_state.h"
#include "language/language.h"
#include "persist/load_fix.h"
#include "platform/platform.h"

namespace xev::editor {

EditorState& Editor() {
  static EditorState state;
  return state;
}

bool InLoadFix() { return persist::CurrentLoadFix().active; }

const char* LoadLabel(uint32_t id, char* buffer, int32_t size) {
  if (size <= 0) return "";
  buffer[0] = 0;
  platform::LoadStringA(platform::ModuleInstance(), id, buffer, size);
  return buffer;
}

const char* TypeLabel(int32_t type, char* buffer) {
  uint32_t id = 231;  // "Keyword"
  switch (type) {
    case XEV_TYPE_NUMBER: id = 227; break;
    case XEV_TYPE_DATETIME: id = 228; break;
    case XEV_TYPE_STRING: id = 229; break;
    case XEV_TYPE_MATCHING:
    case XEV_TYPE_ANY: id = 230; break;
    default: break;
  }
  return LoadLabel(id, buffer, kTypeLabelSize);
}

ExpressionKind KindOf(HEXP exp) {
  if (exp == nullptr || exp->root == nullptr) return kKindFormula;
  if (exp->root->kind == language::NK_SET) return kKindSet;
  if (exp->root->kind == language::NK_RANGE) return kKindRange;
  return kKindFormula;
}

HEXP ExpressionNamed(const char* name) {
  ExprContext* ec = Editor().ec;
  if (ec == nullptr || name == nullptr) return nullptr;
  return XEVHEXPFromName(ec, name);
}

char* ListEntryText(HWND list, int32_t index) {
  auto length = static_cast<int32_t>(ui::SendMessageA(list, ui::LB_GETTEXTLEN, static_cast<WPARAM>(index), 0));
  if (length < 0) return nullptr;
  auto* text = static_cast<char*>(HostAlloc(static_cast<size_t>(length) + 1));
  if (text == nullptr) return nullptr;
  text[0] = 0;
  ui::SendMessageA(list, ui::LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
  return text;
}

HEXP SelectedExpression(HWND dialog) {
  HWND list = ui::GetDlgItem(dialog, kIdFormulas);
  auto index = static_cast<int32_t>(ui::SendMessageA(list, ui::LB_GETCURSEL, 0, 0));
  if (index < 1) return nullptr;
  char* name = ListEntryText(list, index);
  if (name == nullptr) return nullptr;
  HEXP exp = ExpressionNamed(name);
  HostFree(name);
  return exp;
}

char* CopyWindowText(HWND window) {
  int32_t length = ui::GetWindowTextLengthA(window);
  auto* text = static_cast<char*>(HostAlloc(static_cast<size_t>(length) + 1));
  if (text == nullptr) return nullptr;
  ui::GetWindowTextA(window, text, length + 1);
  return text;
}

}  // namespace xev::editor
