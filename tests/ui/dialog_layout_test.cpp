// Resizable dialogs: the editor opens larger than its template, grows when a
// person resizes it (its text and lists with it, the rest moving along), and
// never shrinks below the template.
#include "platform/ui/kit.h"
#include "platform/ui/ui.h"
#include "ui/ui_test_support.h"

using namespace xev::ui;

namespace {

intptr_t XEV_CALL Quiet(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG ? 1 : 0; }

RECT RectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}
int32_t Width(const RECT& r) { return r.right - r.left; }
int32_t Height(const RECT& r) { return r.bottom - r.top; }

using DialogLayout = uitest::KitTest;

TEST_F(DialogLayout, EditorOpensLargerAndItsControlsFollowEveryResize) {
  HWND editor = CreateDialogParamA(nullptr, "EXPBILD", nullptr, Quiet, 0);
  int32_t minWidth = 0, minHeight = 0;
  ASSERT_EQ(XEVUiGetMinimumSize(editor, &minWidth, &minHeight), 1);
  EXPECT_EQ(minWidth, 300 * XEV_UI_CHAR_WIDTH / 4);
  RECT opened = RectOf(editor);
  EXPECT_GT(Width(opened), minWidth);
  EXPECT_GT(Height(opened), minHeight);

  HWND text = GetDlgItem(editor, 100), functions = GetDlgItem(editor, 107), cancel = GetDlgItem(editor, 2);
  RECT textBefore = RectOf(text), functionsBefore = RectOf(functions), cancelBefore = RectOf(cancel);
  ASSERT_EQ(XEVUiPlaceWindow(editor, opened.left, opened.top, Width(opened) + 120, Height(opened) + 90), 1);
  EXPECT_EQ(Width(RectOf(text)), Width(textBefore) + 120);
  EXPECT_EQ(Height(RectOf(text)), Height(textBefore) + 30);
  EXPECT_EQ(Width(RectOf(functions)), Width(functionsBefore) + 40) << "a third of the extra width";
  EXPECT_EQ(Height(RectOf(functions)), Height(functionsBefore) + 60);
  EXPECT_EQ(RectOf(cancel).left, cancelBefore.left + 120);
  EXPECT_EQ(Width(RectOf(cancel)), Width(cancelBefore));

  // Back to where it opened: every control exactly where it was; smaller stops at the template.
  XEVUiPlaceWindow(editor, opened.left, opened.top, Width(opened), Height(opened));
  EXPECT_EQ(RectOf(functions).right, functionsBefore.right);
  EXPECT_EQ(RectOf(cancel).top, cancelBefore.top);
  XEVUiPlaceWindow(editor, 5, 6, 10, 10);
  EXPECT_EQ(Width(RectOf(editor)), minWidth);
  EXPECT_EQ(RectOf(editor).left, 5);
  DestroyWindow(editor);
}

}  // namespace
