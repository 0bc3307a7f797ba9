// The window classes the kit knows. The host's custom control classes that
// the dialog templates name are registered names of the standard classes:
// they take the same messages and behave the same.
#include "platform/ui/kit.h"
#include "platform/platform.h"

namespace xev::ui::kit {
namespace {

constexpr ClassInfo kClasses[] = {
    {"#32770", WindowKind::kDialog, DialogWindowProc},
    {"UxCtrlBorDialog", WindowKind::kDialog, DialogWindowProc},
    {"Edit", WindowKind::kEdit, EditProc},
    {"UxCtrlEdit", WindowKind::kEdit, EditProc},
    {"ListBox", WindowKind::kListBox, ListBoxProc},
    {"UxCtrlListBox", WindowKind::kListBox, ListBoxProc},
    {"ComboBox", WindowKind::kComboBox, ComboBoxProc},
    {"Button", WindowKind::kButton, ButtonProc},
    {"UxCtrlCommandButton", WindowKind::kButton, ButtonProc},
    {"UxCtrlOptionButton", WindowKind::kButton, ButtonProc},
    {"UxCtrlGroupBox", WindowKind::kButton, ButtonProc},
    {"Static", WindowKind::kStatic, StaticProc},
    {"UxCtrlStatic", WindowKind::kStatic, StaticProc},
    {"XevHostWindow", WindowKind::kWindow, PlainWindowProc},
};

}  // namespace

const ClassInfo* FindClass(const char* name) {
  if (name == nullptr) return nullptr;
  for (const ClassInfo& info : kClasses)
    if (platform::lstrcmpiA(info.name, name) == 0) return &info;
  return nullptr;
}

}  // namespace xev::ui::kit
