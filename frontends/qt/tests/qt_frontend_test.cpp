// The editor on a desktop, driven as a person drives it: Qt's mouse and key
// events on the mirrored widgets, through the front end into the kit, and
// the formulas file that `xevhost edit` writes in the end.
#include "qt_test_support.h"

namespace {

using namespace qttest;


TEST_F(EditorOnQt, OkWritesTheBuiltFormulaKeepingCommentsAndOrder) {
  std::string built;
  int status = Edit({
      [](XEVHWND editor) {
        EXPECT_TRUE(W(editor)->windowTitle().startsWith("Formula Editor"));
        ClickEntry(Item(editor, kFunctions), "StrUpper", true);
      },
      [](XEVHWND editor) {
        EXPECT_EQ(KitText(Item(editor, kFormulaText)).rfind("StrUpper(", 0), 0u);
        ClickEntry(Item(editor, kDataItems), "Customer", true);
      },
      [](XEVHWND editor) {
        XEVHWND name = Item(editor, kName);
        Click(name);
        Key(name, Qt::Key_Home);
        Key(name, Qt::Key_End, Qt::ShiftModifier);
        Type(name, "Loud");
      },
      [&](XEVHWND editor) {
        built = KitText(Item(editor, kFormulaText));
        EXPECT_EQ(KitText(Item(editor, kName)), "Loud");
        Shoot(P().Grab(editor), "editor-picked.png", editor);
        Click(Item(editor, kOk));
      },
  });
  EXPECT_EQ(status, 0);
  EXPECT_NE(built.find("Customer"), std::string::npos) << built;
  EXPECT_EQ(Formulas(), std::string(kFormulas) + "Loud = " + built + "\n");
  EXPECT_EQ(ReadFile(dir_ / "orders.formulas.bak"), kFormulas);
}

TEST_F(EditorOnQt, CancelWritesNothing) {
  int status = Edit({
      [](XEVHWND editor) { Type(Item(editor, kFormulaText), "Quantity * 3"); },
      [](XEVHWND editor) {
        EXPECT_EQ(KitText(Item(editor, kFormulaText)), "Quantity * 3");
        Key(Item(editor, kFormulaText), Qt::Key_Escape);
      },
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Formulas(), kFormulas);
  EXPECT_FALSE(HasBackup());
}

TEST_F(EditorOnQt, DeletesOnlyFormulasNothingUses) {
  std::string name;
  bool iconShown = false, grossDeletable = true;
  int status = Edit({
      [](XEVHWND editor) { ClickEntry(Item(editor, kFormulaList), "Spare"); },
      [](XEVHWND editor) { Click(Item(editor, kDelete)); },
      [&](XEVHWND question) {
        for (QLabel* label : W(question)->findChildren<QLabel*>()) iconShown = iconShown || !label->pixmap().isNull();
        Shoot(P().Grab(question), "delete-question.png", question);
        QAbstractButton* yes = ButtonLabelled(question, "Yes");
        ASSERT_NE(yes, nullptr);
        QTest::mouseClick(yes, Qt::LeftButton, {}, yes->rect().center());
      },
      [](XEVHWND editor) {
        EXPECT_EQ(Entry(Item(editor, kFormulaList), "Spare"), nullptr);
        ClickEntry(Item(editor, kFormulaList), "Gross");
      },
      [&](XEVHWND editor) {
        grossDeletable = W(Item(editor, kDelete))->isEnabled();
        Click(Item(editor, kFormulaText));
      },
      [](XEVHWND editor) { Type(Item(editor, kFormulaText), "Quantity * 2"); },
      [&](XEVHWND editor) {
        name = KitText(Item(editor, kName));
        Click(Item(editor, kOk));
      },
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(iconShown);
  EXPECT_FALSE(grossDeletable) << "Net uses Gross";
  EXPECT_EQ(Formulas(), "# Totals of an order\nGross  = Quantity * Price\nNet    = Gross() * 0.9\n\n"
                        "# Not used by anything\n" + name + " = Quantity * 2\n");
}

TEST_F(EditorOnQt, TheErrorDialogShowsTheSpanAndRefusesTyping) {
  int highlighted = 0;
  std::string textBefore, textAfter;
  int status = Edit({
      [](XEVHWND editor) {
        Type(Item(editor, kFormulaText), "Quantity * * 2");
        Click(Item(editor, kOk));
      },
      [&](XEVHWND error) {
        EXPECT_EQ(W(error)->windowTitle().toStdString(), "Formula Information");
        QImage shot = Shoot(P().Grab(error), "error-dialog.png", error);
        QWidget* text = W(Item(error, kErrorText));
        QRect area(text->mapTo(text->window(), QPoint(0, 0)), text->size());
        highlighted = CountNear(shot, text->palette().color(QPalette::Highlight).rgb(), area);
        textBefore = KitText(Item(error, kErrorText));
        Type(Item(error, kErrorText), "abc");
        Key(Item(error, kErrorText), Qt::Key_Delete);
      },
      [&](XEVHWND error) {
        textAfter = KitText(Item(error, kErrorText));
        Key(Item(error, kErrorText), Qt::Key_Return);
      },
      [](XEVHWND editor) { EXPECT_TRUE(W(editor)->windowTitle().startsWith("Formula Editor")); },
  });
  EXPECT_EQ(status, 0);
  EXPECT_GT(highlighted, 20) << "the span is not drawn selected";
  EXPECT_EQ(textBefore, "Quantity * * 2");
  EXPECT_EQ(textAfter, textBefore);
  EXPECT_EQ(Formulas(), kFormulas);
}

TEST_F(EditorOnQt, ValueListAndTextViewShowWhatTheHostGave) {
  QStringList values;
  QString viewed;
  int status = Edit({
      [](XEVHWND editor) { ClickEntry(Item(editor, kDataItems), "Customer"); },
      [](XEVHWND editor) { Click(Item(editor, kValues)); },
      [&](XEVHWND editor) {
        QWidget* list = CompanionWith<QListWidget>(editor);
        ASSERT_NE(list, nullptr);
        for (auto* w : list->findChildren<QListWidget*>())
          for (int i = 0; i < w->count(); ++i) values << w->item(i)->text();
        Shoot(list->grab().toImage(), "value-list.png");
        ClickEntry(Item(editor, kFormulaList), "Net");
      },
      [](XEVHWND editor) { Click(Item(editor, kShowText)); },
      [&](XEVHWND editor) {
        QWidget* view = CompanionWith<QPlainTextEdit>(editor);
        ASSERT_NE(view, nullptr);
        for (auto* w : view->findChildren<QPlainTextEdit*>()) viewed += w->toPlainText();
        // Its first lines are judged: a short formula leaves the rest of a roomy view blank.
        QImage whole = view->grab().toImage();
        EXPECT_TRUE(LooksDrawn(whole.copy(0, 0, whole.width(), 40)));
        KeepForDocs(whole, "text-view.png");
      },
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(values, (QStringList{"Acme", "Bolt"}));
  EXPECT_TRUE(viewed.contains("Gross() * 0.9")) << viewed.toStdString();
}

TEST_F(EditorOnQt, AClickPutsTheCaretWhereQtDrawsTheCharacter) {
  uint32_t start = 99, end = 99;
  int status = Edit({
      [](XEVHWND editor) { Type(Item(editor, kFormulaText), "Quantity * Price"); },
      [](XEVHWND editor) {
        auto* edit = qobject_cast<QPlainTextEdit*>(W(Item(editor, kFormulaText)));
        QTextCursor at(edit->document());
        at.setPosition(11);
        QRect caret = edit->cursorRect(at);
        QTest::mouseClick(edit->viewport(), Qt::LeftButton, {}, QPoint(caret.left() + 1, caret.center().y()));
      },
      [&](XEVHWND editor) {
        XEVUiSendMessage(Item(editor, kFormulaText), XEV_EM_GETSEL, reinterpret_cast<uintptr_t>(&start),
                         reinterpret_cast<intptr_t>(&end));
      },
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(start, 11u);
  EXPECT_EQ(end, 11u);
}

TEST(XevhostEdit, ScreenshotDrawsTheEditorOnceAndWritesNothing) {
  fs::path dir = fs::temp_directory_path() / ("xev-qt-shot-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::copy_file(fs::path(XEV_EXAMPLES_DIR) / "sales.formulas", dir / "sales.formulas");
  std::string before = ReadFile(dir / "sales.formulas");
  std::string command = std::string(XEVHOST_PATH) + " edit " + XEV_EXAMPLES_DIR + "/sales.csv -f " +
                        (dir / "sales.formulas").string() + " --platform offscreen --screenshot " +
                        (dir / "editor.png").string() + " 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0);
  QImage shot((dir / "editor.png").string().c_str());
  EXPECT_TRUE(LooksDrawn(shot));
  // Wider than its template (300 dialog units) so that every name shows whole.
  EXPECT_GT(shot.width(), 300 * XEV_UI_CHAR_WIDTH / 4);
  EXPECT_EQ(ReadFile(dir / "sales.formulas"), before);
  EXPECT_FALSE(fs::exists(dir / "sales.formulas.bak"));
  fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!XevQtInstall(&argc, argv, nullptr)) {
    std::fprintf(stderr, "no Qt platform to run on (set QT_QPA_PLATFORM)\n");
    return 1;
  }
  int result = RUN_ALL_TESTS();
  XevQtUninstall();
  return result;
}
