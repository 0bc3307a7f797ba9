// Cancel keeps its word: what a person deleted or saved with Yes while the
// editor was open is not thrown away without a question.
#include "qt_test_support.h"

namespace {

using namespace qttest;

class EditorCancel : public EditorOnQt {
 protected:
  // Deletes Spare with Yes, then ends the editor with end(editor) and
  // answers the question that follows with answer.
  int DeleteSpareThenEnd(std::function<void(XEVHWND)> end, const char* answer) {
    return Edit({
        [](XEVHWND editor) { ClickEntry(Item(editor, kFormulaList), "Spare"); },
        [](XEVHWND editor) { Click(Item(editor, kDelete)); },
        [](XEVHWND question) { Press(question, "Yes"); },
        end,
        [&](XEVHWND question) {
          asked_ = KitText(FirstText(question));
          Press(question, answer);
        },
    });
  }
  static void Press(XEVHWND box, const char* caption) {
    QAbstractButton* button = ButtonLabelled(box, caption);
    ASSERT_NE(button, nullptr) << caption;
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
  }
  static XEVHWND FirstText(XEVHWND box) {
    for (XEVHWND c = XEVUiGetFirstChild(box); c != nullptr; c = XEVUiGetNextSibling(c))
      if (KitText(c).size() > 20) return c;
    return nullptr;
  }
  std::string asked_;
};

const char* kWithoutSpare = "# Totals of an order\nGross  = Quantity * Price\nNet    = Gross() * 0.9\n\n"
                            "# Not used by anything\n";

TEST_F(EditorCancel, TheCloseButtonAsksAndYesKeepsTheDelete) {
  int status = DeleteSpareThenEnd([](XEVHWND editor) { W(editor)->close(); }, "Yes");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(asked_, "Formulas were saved or deleted in the editor. Keep these changes in orders.formulas?");
  EXPECT_EQ(Formulas(), kWithoutSpare);
  EXPECT_TRUE(HasBackup());
}

TEST_F(EditorCancel, CancelThenNoLeavesTheFileAlone) {
  int status = DeleteSpareThenEnd([](XEVHWND editor) { Click(Item(editor, 2)); }, "No");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Formulas(), kFormulas);
  EXPECT_FALSE(HasBackup());
}

}  // namespace
