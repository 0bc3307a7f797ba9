// The windowing kit's own behaviour where the editor's tests do not reach it:
// handles and classes it does not know, the class procedure under a subclass
// chain, a dialog's close, a message box's Escape and timers that are gone.
#include <string>
#include <vector>

#include "ui/ui_test_support.h"

using namespace xev::ui;
using uitest::Script;

namespace {

std::vector<UINT> g_commands;

intptr_t XEV_CALL RecordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND) return 0;
  g_commands.push_back(LOWORD(wParam));
  EndDialog(dialog, LOWORD(wParam));
  return 1;
}

WNDPROC g_under = nullptr;
std::vector<std::string> g_log;

LRESULT XEV_CALL Swallowing(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER + 7) g_log.push_back("subclass");
  if (m == WM_SETTEXT) return 0;  // swallowed: the text must stay
  return CallWindowProcA(g_under, w, m, wp, lp);
}

HWND HostWindow() { return XEVUiCreateHostWindow("host", 100, 50, 640, 480); }

class KitTest : public uitest::KitTest {
 protected:
  void SetUp() override {
    uitest::KitTest::SetUp();
    g_commands.clear();
    g_log.clear();
  }
};

}  // namespace

TEST_F(KitTest, ForeignHandlesAndUnknownClassesAreRefused) {
  HWND host = HostWindow();
  auto* foreign = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7A5A5));
  char text[8] = "keep";
  EXPECT_EQ(GetWindowTextA(foreign, text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  XEVUiWindowInfo info;
  EXPECT_EQ(XEVUiGetWindowInfo(foreign, &info), 0);
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_CHILD, 0, 0, 1, 1, host, 1, nullptr, nullptr), nullptr);
  EXPECT_EQ(XEVUiGetActiveModal(), nullptr);
  DestroyWindow(host);
}

TEST_F(KitTest, SubclassesRunBeforeTheClassProcedureAndCanSwallow) {
  HWND host = HostWindow();
  HWND stat = CreateWindowExA(0, "UxCtrlStatic", "before", WS_CHILD, 0, 0, 10, 10, host, 9, nullptr, nullptr);
  g_under = reinterpret_cast<WNDPROC>(SetWindowLongA(stat, GWL_WNDPROC, reinterpret_cast<intptr_t>(Swallowing)));
  EXPECT_EQ(GetClassWindowProc(stat), g_under);
  SendMessageA(stat, WM_USER + 7, 0, 0);
  EXPECT_EQ(g_log, std::vector<std::string>{"subclass"});
  EXPECT_EQ(SetWindowTextA(stat, "after"), 0);
  EXPECT_EQ(uitest::TextOf(stat), "before");
  DestroyWindow(host);
}

TEST_F(KitTest, ADialogsCloseIsItsCancelAndKilledTimersAreGone) {
  HWND dialog = CreateDialogParamA(nullptr, "EXPTEXTVIEW", nullptr, RecordingDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  ASSERT_EQ(SetTimer(dialog, 1, 1000, nullptr), 1u);
  EXPECT_EQ(KillTimer(dialog, 1), 1);
  EXPECT_EQ(KillTimer(dialog, 1), 0);
  SendMessageA(dialog, WM_CLOSE, 0, 0);
  EXPECT_EQ(g_commands, std::vector<UINT>{IDCANCEL});
  DestroyWindow(dialog);
}

TEST_F(KitTest, EscapeInAMessageBoxIsOkOrCancel) {
  const struct {
    uint32_t type;
    int32_t expected;
  } cases[] = {{MB_OK, IDOK}, {MB_YESNO | MB_ICONSTOP, IDCANCEL}};  // no answer: cancelled when input runs out
  for (const auto& c : cases) {
    Script script;
    script.Then([](HWND) { XEVUiKey(VK_ESCAPE, 0, 0); });
    EXPECT_EQ(MessageBoxA(nullptr, "Delete Permission Denied.", "Formula Delete", c.type), c.expected) << c.type;
  }
}
