// The modes `xevhost edit` offers work: a range built in Range mode is saved,
// and the next plain report reads the file, leaving the range out with a note.
#include <unistd.h>

#include "qt_test_support.h"

namespace {

using namespace qttest;

constexpr int kModeRange = 135;

class EditorModes : public EditorOnQt {};

TEST_F(EditorModes, ASavedRangeLeavesTheNextReportWorkingWithANote) {
  std::string name;
  int status = Edit({
      [](XEVHWND editor) { Click(Item(editor, kModeRange)); },
      [](XEVHWND editor) { ClickEntry(Item(editor, kDataItems), "Quantity", true); },
      [](XEVHWND editor) { Type(Item(editor, kFormulaText), "100"); },
      [&](XEVHWND editor) {
        EXPECT_EQ(KitText(Item(editor, kFormulaText)), "Quantity AND 100");
        name = KitText(Item(editor, kName));
        Click(Item(editor, kOk));
      },
  });
  EXPECT_EQ(status, 0);
  EXPECT_NE(Formulas().find(name + " = Quantity AND 100"), std::string::npos) << Formulas();

  std::string log = (dir_ / "report.log").string();
  std::string command = std::string(XEVHOST_PATH) + " " + (dir_ / "orders.csv").string() + " -f " +
                        (dir_ / "orders.formulas").string() + " >/dev/null 2>" + log;
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_NE(ReadFile(log).find("note: " + name + " is a range"), std::string::npos) << ReadFile(log);
}

}  // namespace
