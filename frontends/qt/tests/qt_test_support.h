// What the front end's tests share: finding the mirrored widgets of kit windows,
// acting on them with QTest as a person would, judging screenshots, and running
// `xevhost edit` in the test's process one step per wait of the dialog.
#pragma once

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

namespace qttest {

enum ControlId {
  kFormulaText = 100, kName = 101, kOk = 1, kDataItems = 106, kFunctions = 107, kFormulaList = 114,
  kDelete = 116, kShowText = 118, kValues = 133, kErrorText = 200,
};

inline xevqt::Presenter& P() { return *xevqt::InstalledPresenter(); }
inline QWidget* W(XEVHWND window) { return P().WidgetOf(window); }
inline XEVHWND Item(XEVHWND dialog, int id) { return XEVUiGetDlgItem(dialog, id); }
inline std::string KitText(XEVHWND window) { return xevqt::KitWindowText(window); }

inline void Click(XEVHWND window) { QTest::mouseClick(W(window), Qt::LeftButton, {}, W(window)->rect().center()); }
inline void Type(XEVHWND window, const char* text) { QTest::keyClicks(W(window), QString::fromUtf8(text)); }
inline void Key(XEVHWND window, Qt::Key key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(W(window), key, mods); }

inline QListWidgetItem* Entry(XEVHWND list, const QString& text) {
  auto* widget = qobject_cast<QListWidget*>(W(list));
  QList<QListWidgetItem*> found = widget->findItems(text, Qt::MatchExactly);
  return found.isEmpty() ? nullptr : found.front();
}

// Scrolls the entry into view as a person would, then clicks it.
inline void ClickEntry(XEVHWND list, const QString& text, bool twice = false) {
  auto* widget = qobject_cast<QListWidget*>(W(list));
  QListWidgetItem* item = Entry(list, text);
  ASSERT_NE(item, nullptr) << text.toStdString();
  widget->scrollToItem(item, QAbstractItemView::PositionAtTop);
  QPoint at = widget->visualItemRect(item).center();
  if (twice) QTest::mouseDClick(widget->viewport(), Qt::LeftButton, {}, at);
  else QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, at);
}

inline QAbstractButton* ButtonLabelled(XEVHWND dialog, const QString& caption) {
  for (auto* b : W(dialog)->findChildren<QAbstractButton*>())
    if (b->text().remove(u'&') == caption) return b;
  return nullptr;
}

// The editor's visible companion window that shows a control of type T.
template <typename T>
inline QWidget* CompanionWith(XEVHWND editor) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != W(editor) && w->isVisible() && !w->findChildren<T*>().isEmpty()) return w;
  return nullptr;
}

// ---- what a person would see in a screenshot ----------------------------------

// More than a flat fill: several colours, none covering almost everything.
inline bool LooksDrawn(const QImage& image) {
  if (image.isNull() || image.width() < 20 || image.height() < 20) return false;
  QHash<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
  int largest = 0;
  for (int c : counts) largest = std::max(largest, c);
  return counts.size() >= 4 && largest < image.width() * image.height() * 99 / 100;
}

// Pixels within area close to colour: a selection shows in the highlight colour.
inline int CountNear(const QImage& image, QRgb colour, QRect area) {
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
inline std::string ControlsOutside(XEVHWND dialog) {
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

// Keeps a screenshot for the documentation when XEV_SCREENSHOT_DIR is set.
inline void KeepForDocs(const QImage& shot, const char* docName) {
  const char* dir = std::getenv("XEV_SCREENSHOT_DIR");
  if (dir != nullptr && *dir != '\0') shot.save(QString::fromLocal8Bit(dir) + "/" + docName, "PNG");
}

// A screenshot that looks drawn, with every control of the kit dialog (if
// given) inside it; kept for the documentation.
inline QImage Shoot(const QImage& shot, const char* docName, XEVHWND dialog = nullptr) {
  EXPECT_TRUE(LooksDrawn(shot)) << docName;
  if (dialog != nullptr) {
    EXPECT_EQ(ControlsOutside(dialog), "") << docName;
  }
  KeepForDocs(shot, docName);
  return shot;
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

inline const char* kFormulas =
    "# Totals of an order\n"
    "Gross  = Quantity * Price\n"
    "Net    = Gross() * 0.9\n"
    "\n"
    "# Not used by anything\n"
    "Spare  = Quantity + 1\n";

inline int32_t XEV_CALL KeepInstalled(int*, char**, const XevQtOptions*) { return 1; }
inline void XEV_CALL StayInstalled() {}

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

}  // namespace qttest
