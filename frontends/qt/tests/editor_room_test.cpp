// The editor's room on a desktop: it opens large enough to read, grows with
// its window, its lists show what the kit drew wherever they are scrolled,
// and the control with the keyboard focus is ringed.
#include <QScrollBar>

#include "focus_ring.h"

#include "qt_test_support.h"

namespace {

using namespace qttest;

class EditorRoom : public EditorOnQt {};

int Height(QWidget* w) { return w->height(); }

TEST_F(EditorRoom, LargerWindowGrowsTextAndListsAndKeepsEveryControlInside) {
  int textBefore = 0, listBefore = 0;
  int status = Edit({
      [&](XEVHWND editor) {
        textBefore = Height(W(Item(editor, kFormulaText)));
        listBefore = Height(W(Item(editor, kFunctions)));
        QSize minimum = W(editor)->minimumSize();
        EXPECT_LT(minimum.width(), W(editor)->width()) << "opens larger than its smallest size";
        W(editor)->resize(W(editor)->width() + 200, W(editor)->height() + 150);  // as a window manager does
      },
      [&](XEVHWND editor) {
        EXPECT_GT(Height(W(Item(editor, kFormulaText))), textBefore);
        EXPECT_GT(Height(W(Item(editor, kFunctions))), listBefore);
        EXPECT_EQ(ControlsOutside(editor), "");
        XEVUiWindowInfo info{};
        XEVUiGetWindowInfo(editor, &info);
        EXPECT_EQ(info.rect.right - info.rect.left, W(editor)->width()) << "the kit follows the window";
      },
  });
  EXPECT_EQ(status, 0);
}

TEST_F(EditorRoom, ScrolledListsShowTheirOwnEntriesAndPictures) {
  std::string many;
  for (int i = 0; i < 40; ++i) many += "F" + std::to_string(i) + " = Quantity + " + std::to_string(i) + "\n";
  WriteFile(dir_ / "orders.formulas", many);
  int status = Edit({
      [](XEVHWND editor) {
        auto* formulas = qobject_cast<QListWidget*>(W(Item(editor, kFormulaList)));
        formulas->verticalScrollBar()->setValue(formulas->verticalScrollBar()->maximum());  // the wheel's work
        ClickEntry(Item(editor, kFunctions), "Average");
        Key(Item(editor, kFunctions), Qt::Key_End);
        Key(Item(editor, kFunctions), Qt::Key_Up);
      },
      [](XEVHWND editor) {
        XEVHWND list = Item(editor, kFormulaList);
        auto* formulas = qobject_cast<QListWidget*>(W(list));
        int shown = formulas->indexAt(QPoint(2, 2)).row();
        EXPECT_EQ(shown, XEVUiSendMessage(list, XEV_LB_GETTOPINDEX, 0, 0));
        XEVUiDrawnItem item{};
        ASSERT_TRUE(XEVUiGetDrawnItem(list, formulas->count() - 1, &item)) << "the last entry was never drawn";
        EXPECT_NE(item.bitmapName, nullptr);
        XEVHWND functions = Item(editor, kFunctions);
        auto* widget = qobject_cast<QListWidget*>(W(functions));
        EXPECT_EQ(widget->verticalScrollBar()->value(), XEVUiSendMessage(functions, XEV_LB_GETTOPINDEX, 0, 0));
        EXPECT_EQ(widget->currentRow(), widget->count() - 2);
        EXPECT_TRUE(widget->viewport()->rect().contains(widget->visualItemRect(widget->item(widget->count() - 2))));
      },
  });
  EXPECT_EQ(status, 0);
}

TEST_F(EditorRoom, TheFocusIsRingedWhereverTabTakesIt) {
  QRect ring, cancel;
  int status = Edit({
      [](XEVHWND editor) {
        Key(Item(editor, kFormulaText), Qt::Key_Tab);
        Key(Item(editor, kName), Qt::Key_Tab);
      },
      [&](XEVHWND editor) {
        for (auto* r : W(editor)->findChildren<xevqt::FocusRing*>())
          if (r->isVisible()) ring = r->geometry();
        cancel = W(Item(editor, 2))->geometry();
      },
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(ring.contains(cancel) && ring != cancel) << "the ring surrounds Cancel";
}

}  // namespace
