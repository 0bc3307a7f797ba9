// Filling a host's combo box with the names of one kind of item.
#include "core/core.h"
#include "core/item_store.h"
#include "platform/ui/ui.h"

using namespace xev::core;

extern "C" XEV_API int32_t XEV_CALL XEVLoadComboBox(ExprContext* ec, int16_t kind, XEVHWND comboBox) {
  if (ec == nullptr) return 0;
  HGLOBAL* list = ItemList(ec, kind);
  if (list == nullptr || *list == nullptr) return 0;
  // The answer is the size of the kind's list, whatever the box took: a host
  // that counts entries against items sees a box that ran out of memory.
  uint32_t count = HandleArrayCount(*list);
  for (uint32_t i = 0; i < count; ++i) {
    ExpItem* item = ItemAt(*list, i);
    if (item != nullptr)
      xev::ui::SendMessageA(comboBox, xev::ui::CB_ADDSTRING, 0, reinterpret_cast<xev::ui::LPARAM>(item->name));
  }
  return static_cast<int32_t>(count);
}
