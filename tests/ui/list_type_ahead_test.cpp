// Typing in a list selects the entry that begins with what was typed, as a
// person expects of any list: letters narrow, the same letter walks on, a
// pause starts afresh, and every change is announced.
#include <string>

#include "platform/ui/kit.h"
#include "platform/ui/ui.h"
#include "ui/ui_test_support.h"

using namespace xev::ui;

namespace {

int32_t g_selChanges = 0;
intptr_t XEV_CALL Counting(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && HIWORD(wParam) == LBN_SELCHANGE) ++g_selChanges;
  return message == WM_INITDIALOG ? 1 : 0;
}

std::string Selected(HWND list) {
  char text[64] = {};
  SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(SendMessageA(list, LB_GETCURSEL, 0, 0)),
               reinterpret_cast<LPARAM>(text));
  return text;
}

using ListTypeAhead = uitest::KitTest;

TEST_F(ListTypeAhead, LettersNarrowRepeatsWalkAndAPauseStartsAfresh) {
  HWND dialog = CreateDialogParamA(nullptr, "EXPBILD", nullptr, Counting, 0);
  HWND list = GetDlgItem(dialog, 107);
  for (const char* name : {"DateDay", "Average", "DateMonth", "Count", "DateYear", "StrLeft"})
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  ShowWindow(dialog, SW_SHOWNORMAL);
  SetFocus(list);
  XEVUiType("datem");
  XEVUiRunPending();
  EXPECT_EQ(Selected(list), "DateMonth");
  XEVUiAdvanceClock(1500);
  XEVUiType("dd");
  XEVUiRunPending();
  EXPECT_EQ(Selected(list), "DateDay") << "the same letter walks on from DateYear round to DateDay";
  XEVUiAdvanceClock(1500);
  XEVUiType(" x");
  XEVUiRunPending();
  EXPECT_EQ(Selected(list), "DateDay") << "space alone and a letter nothing begins with select nothing";
  EXPECT_EQ(g_selChanges, 4);
  DestroyWindow(dialog);
}

}  // namespace
