// The help line under the lists: what the selected function does (as
// docs/functions.md says it, or its call template for a function of the
// host's), or the type of the selected data item. It shows where the eye
// already is; the host's help query is answered as before.
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "core/item_store.h"
#include "editor/editor_view.h"
#include "editor/function_help.h"

namespace xev::editor {

using namespace xev::ui;

namespace {

constexpr int32_t kHelpSize = 512;

char* SelectedEntry(HWND list) {
  auto index = static_cast<int32_t>(SendMessageA(list, LB_GETCURSEL, 0, 0));
  return index >= 0 ? ListEntryText(list, index) : nullptr;
}

void WriteFunctionHelp(const char* name, char* help) {
  if (const char* documented = FunctionHelp(name)) {
    std::snprintf(help, kHelpSize, "%s", documented);
    return;
  }
  const ExpItem* function = core::FindItem(Editor().ec->functionItems, name);
  char call[kHelpSize - kNameSize] = {};
  if (function != nullptr) BuildCallTemplate(function, call, sizeof call);
  std::snprintf(help, kHelpSize, "%s%s", name, call);
}

void WriteDataItemHelp(const char* name, char* help) {
  char type[kTypeLabelSize];
  std::snprintf(help, kHelpSize, "%s: a data item of type %s", name,
                TypeLabel(core::DataItemType(Editor().ec, name), type));
}

}  // namespace

void ShowSelectionHelp(HWND dialog, int32_t listId) {
  char* name = SelectedEntry(GetDlgItem(dialog, listId));
  if (name == nullptr || Editor().ec == nullptr) {
    HostFree(name);
    return;
  }
  char help[kHelpSize];
  if (listId == kIdFunctions) WriteFunctionHelp(name, help);
  else WriteDataItemHelp(name, help);
  HostFree(name);
  SetDlgItemTextA(dialog, kIdHelp, help);
}

}  // namespace xev::editor
