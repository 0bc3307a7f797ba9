// The editor on a desktop, driven as a person drives it: Qt's mouse and key
// events on the mirrored widgets, through the front end into the kit, and
// the formulas file that `xevhost edit` writes in the end.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "edit_command.h"
#include "presenter.h"
#include "widget_mirror.h"

namespace fs = std::filesystem;

namespace {

enum ControlId {
  kFormulaText = 100, kName = 101, kOk = 1, kDataItems = 106, kFunctions = 107, kFormulaList = 114,
  kDelete = 116, kShowText = 118, kValues = 133, kErrorText = 200,
};

xevqt::Presenter& P() { return *xevqt::InstalledPresenter(); }
QWidget* W(XEVHWND window) { return P().WidgetOf(window); }
XEVHWND Item(XEVHWND dialog, int id) { return XEVUiGetDlgItem(dialog, id); }
std::string KitText(XEVHWND window) { return xevqt::KitWindowText(window); }

void Click(XEVHWND window) { QTest::mouseClick(W(window), Qt::LeftButton, {}, W(window)->rect().center()); }
void Type(XEVHWND window, const char* text) { QTest::keyClicks(W(window), QString::fromUtf8(text)); }
void Key(XEVHWND window, Qt::Key key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(W(window), key, mods); }

QListWidgetItem* Entry(XEVHWND list, const QString& text) {
  auto* widget = qobject_cast<QListWidget*>(W(list));
  QList<QListWidgetItem*> found = widget->findItems(text, Qt::MatchExactly);
  return found.isEmpty() ? nullptr : found.front();
}

// Scrolls the entry into view as a person would, then clicks it.
void ClickEntry(XEVHWND list, const QString& text, bool twice = false) {
  auto* widget = qobject_cast<QListWidget*>(W(list));
  QListWidgetItem* item = Entry(list, text);
  ASSERT_NE(item, nullptr) << text.toStdString();
  widget->scrollToItem(item, QAbstractItemView::PositionAtTop);
  QPoint at = widget->visualItemRect(item).center();
  if (twice) QTest::mouseDClick(widget->viewport(), Qt::LeftButton, {}, at);
  else QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, at);
}

QAbstractButton* ButtonLabelled(XEVHWND dialog, const QString& caption) {
  for (auto* b : W(dialog)->findChildren<QAbstractButton*>())
    if (b->text().remove(u'&') == caption) return b;
  return nullptr;
}

// The editor's visible companion window that shows a control of type T.
template <typename T>
QWidget* CompanionWith(XEVHWND editor) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != W(editor) && w->isVisible() && !w->findChildren<T*>().isEmpty()) return w;
  return nullptr;
}

// ---- what a person would see in a screenshot ----------------------------------

// More than a flat fill: several colours, none covering almost everything.
bool LooksDrawn(const QImage& image) {
  if (image.isNull() || image.width() < 20 || image.height() < 20) return false;
  QHash<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
  int largest = 0;
  for (int c : counts) largest = std::max(largest, c);
  return counts.size() >= 4 && largest < image.width() * image.height() * 99 / 100;
}

// Pixels within area close to colour: a selection shows in the highlight colour.
int CountNear(const QImage& image, QRgb colour, QRect area) {
  area = area.intersected(image.rect());
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      QRgb p = image.pixel(x, y);
      n += (std::abs(qRed(p) - qRed(colour)) + std::abs(qGreen(p) - qGreen(colour)) +
            std::abs(qBlue(p) - qBlue(colour))) < 24;
    }
  return n;
}

// The visible children of a kit dialog whose rectangles leave its client area.
std::string ControlsOutside(XEVHWND dialog) {
  XEVUiWindowInfo d{};
  if (!XEVUiGetWindowInfo(dialog, &d)) return "no dialog";
  int32_t width = d.rect.right - d.rect.left, height = d.rect.bottom - d.rect.top;
  std::string outside;
  for (XEVHWND c = XEVUiGetFirstChild(dialog); c != nullptr; c = XEVUiGetNextSibling(c)) {
    XEVUiWindowInfo info{};
    if (!XEVUiGetWindowInfo(c, &info) || !info.visible) continue;
    if (info.rect.left < -2 || info.rect.top < -2 || info.rect.right > width + 2 || info.rect.bottom > height + 2)
      outside += " id " + std::to_string(info.id);
  }
  return outside;
}

// A screenshot that looks drawn, with every control of the kit dialog (if
// given) inside it; kept for the documentation when XEV_SCREENSHOT_DIR is set.
QImage Shoot(const QImage& shot, const char* docName, XEVHWND dialog = nullptr) {
  EXPECT_TRUE(LooksDrawn(shot)) << docName;
  if (dialog != nullptr) {
    EXPECT_EQ(ControlsOutside(dialog), "") << docName;
  }
  const char* dir = std::getenv("XEV_SCREENSHOT_DIR");
  if (dir != nullptr && *dir != '\0') shot.save(QString::fromLocal8Bit(dir) + "/" + docName, "PNG");
  return shot;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

const char* kFormulas =
    "# Totals of an order\n"
    "Gross  = Quantity * Price\n"
    "Net    = Gross() * 0.9\n"
    "\n"
    "# Not used by anything\n"
    "Spare  = Quantity + 1\n";

int32_t XEV_CALL KeepInstalled(int*, char**, const XevQtOptions*) { return 1; }
void XEV_CALL StayInstalled() {}

class EditorOnQt : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("xev-qt-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    WriteFile(dir_ / "orders.csv", "Customer,Quantity,Price\nAcme,2,10.5\nBolt,1,3\nAcme,5,2.25\n");
    WriteFile(dir_ / "orders.formulas", kFormulas);
  }
  void TearDown() override {
    P().SetIdleHook(nullptr);
    fs::remove_all(dir_);
  }

  // Runs `xevhost edit` in this process; each step runs when the innermost
  // dialog waits for a person, and when they run out the dialog is cancelled.
  int Edit(std::vector<std::function<void(XEVHWND)>> steps) {
    size_t next = 0;
    P().SetIdleHook([&](XEVHWND modal) {
      if (next >= steps.size()) return false;
      steps[next++](modal);
      return true;
    });
    std::string csv = (dir_ / "orders.csv").string(), formulas = (dir_ / "orders.formulas").string();
    char* argv[] = {const_cast<char*>("edit"), csv.data(), const_cast<char*>("-f"), formulas.data(), nullptr};
    int status = xevhost::RunEdit(4, argv, xevhost::EditFrontEnd{KeepInstalled, StayInstalled});
    EXPECT_EQ(next, steps.size()) << "the dialog ended before every step ran";
    return status;
  }
  std::string Formulas() { return ReadFile(dir_ / "orders.formulas"); }
  bool HasBackup() { return fs::exists(dir_ / "orders.formulas.bak"); }

  fs::path dir_;
};

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
        Shoot(P().Grab(editor), "editor.png", editor);
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
        Shoot(view->grab().toImage(), "text-view.png");
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
  EXPECT_EQ(shot.width(), 300 * XEV_UI_CHAR_WIDTH / 4);  // the template's width in dialog units
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
