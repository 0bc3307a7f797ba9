// The windowing kit's own behaviour that the dialogs rely on: handles that
// stay dead, subclass chains, destruction, modal loops inside modal loops,
// dialog keyboard handling, timers, paints, message boxes and what happens
// when memory runs out while a dialog is made.
#include <string>
#include <vector>

#include "ui/ui_test_support.h"

using namespace xev::ui;
using uitest::Script;

namespace {

std::vector<std::string> g_log;

void Log(const std::string& entry) { g_log.push_back(entry); }

// A dialog procedure whose answers a test sets.
struct TestDialog {
  bool endInInit = false;
  bool ignoreCancel = false;
  std::vector<UINT> seen;
  int32_t commands[8] = {};
  int32_t commandCount = 0;
};
TestDialog g_dialog;

intptr_t XEV_CALL TestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  g_dialog.seen.push_back(message);
  if (message == WM_INITDIALOG && g_dialog.endInInit) EndDialog(dialog, 42);
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (g_dialog.commandCount < 8) g_dialog.commands[g_dialog.commandCount++] = LOWORD(wParam);
    if (LOWORD(wParam) == IDCANCEL && g_dialog.ignoreCancel) return 1;
    EndDialog(dialog, LOWORD(wParam));
    return 1;
  }
  return 0;
}

int CountSeen(UINT message) {
  int n = 0;
  for (UINT m : g_dialog.seen) n += m == message ? 1 : 0;
  return n;
}

WNDPROC g_underA = nullptr;
WNDPROC g_underB = nullptr;

LRESULT XEV_CALL SubclassA(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER + 7) Log("A");
  return CallWindowProcA(g_underA, w, m, wp, lp);
}

LRESULT XEV_CALL SubclassB(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER + 7) Log("B");
  if (m == WM_SETTEXT) return 0;  // swallowed: the text must stay
  return CallWindowProcA(g_underB, w, m, wp, lp);
}

HWND g_child = nullptr;

LRESULT XEV_CALL NoisyOnDestroy(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_DESTROY) {
    Log("destroy parent");
    // A window being destroyed still takes messages, may not be destroyed
    // twice, and its children are still there to talk to.
    Log(SetWindowTextA(w, "late") ? "text set" : "text refused");
    Log(DestroyWindow(w) ? "destroyed twice" : "second destroy refused");
    Log(IsWindow(g_child) ? "child alive" : "child gone");
  }
  return DefWindowProcA(w, m, wp, lp);
}

LRESULT XEV_CALL ChildLogger(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_DESTROY) Log("destroy child");
  return DefWindowProcA(w, m, wp, lp);
}

HWND HostWindow() { return XEVUiCreateHostWindow("host", 100, 50, 640, 480); }

class KitTest : public uitest::KitTest {
 protected:
  void SetUp() override {
    uitest::KitTest::SetUp();
    g_dialog = TestDialog{};
    g_log.clear();
  }
};

}  // namespace

TEST_F(KitTest, RefusesNullForeignAndDestroyedHandles) {
  HWND host = HostWindow();
  HWND stat = CreateWindowExA(0, "Static", "x", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, host, 5, nullptr, nullptr);
  ASSERT_NE(stat, nullptr);
  DestroyWindow(stat);
  // The freed slot is taken again, but the old handle must stay dead.
  HWND again = CreateWindowExA(0, "Static", "y", WS_CHILD, 0, 0, 10, 10, host, 6, nullptr, nullptr);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, stat);

  auto* foreign = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7A5A5));
  for (HWND bad : {static_cast<HWND>(nullptr), foreign, stat}) {
    char text[8] = "keep";
    EXPECT_EQ(SendMessageA(bad, WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_EQ(PostMessageA(bad, WM_USER, 0, 0), 0);
    EXPECT_EQ(SetWindowTextA(bad, "z"), 0);
    EXPECT_EQ(GetWindowTextA(bad, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(EnableWindow(bad, 0), 0);
    EXPECT_EQ(ShowWindow(bad, SW_SHOW), 0);
    EXPECT_EQ(IsWindowVisible(bad), 0);
    EXPECT_EQ(GetDlgItem(bad, 5), nullptr);
    EXPECT_EQ(GetWindowLongA(bad, GWL_WNDPROC), 0);
    EXPECT_EQ(SetWindowLongA(bad, GWL_USERDATA, 3), 0);
    EXPECT_EQ(DestroyWindow(bad), 0);
    EXPECT_EQ(SetTimer(bad, 1, 10, nullptr), 0u);
    EXPECT_EQ(MoveWindow(bad, 0, 0, 1, 1, 0), 0);
    EXPECT_EQ(SetFocus(bad), nullptr);
    XEVUiWindowInfo info;
    EXPECT_EQ(XEVUiGetWindowInfo(bad, &info), 0);
    EXPECT_EQ(XEVUiClick(bad), 0);
    EXPECT_EQ(CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 1, 1, bad, 1, nullptr, nullptr), nullptr);
  }
  EXPECT_EQ(DialogBoxParamA(nullptr, "DLGERROR", foreign, TestDialogProc, 0), -1);
  EXPECT_EQ(CreateDialogParamA(nullptr, "DLGERROR", stat, TestDialogProc, 0), nullptr);
  EXPECT_EQ(MessageBoxA(foreign, "t", "c", MB_OK), 0);
  EXPECT_EQ(DialogBoxParamA(nullptr, "NO SUCH TEMPLATE", host, TestDialogProc, 0), -1);
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_CHILD, 0, 0, 1, 1, host, 1, nullptr, nullptr), nullptr);
  // A procedure of null would leave the window unable to take messages.
  EXPECT_EQ(SetWindowLongA(again, GWL_WNDPROC, 0), 0);
  EXPECT_NE(GetWindowLongA(again, GWL_WNDPROC), 0);
  DestroyWindow(host);
  EXPECT_FALSE(IsWindow(again));
}

TEST_F(KitTest, SubclassChainsRunNewestFirstAndCanSwallow) {
  HWND host = HostWindow();
  HWND stat = CreateWindowExA(0, "UxCtrlStatic", "before", WS_CHILD, 0, 0, 10, 10, host, 9, nullptr, nullptr);
  WNDPROC original = reinterpret_cast<WNDPROC>(GetWindowLongA(stat, GWL_WNDPROC));
  g_underA = reinterpret_cast<WNDPROC>(SetWindowLongA(stat, GWL_WNDPROC, reinterpret_cast<intptr_t>(SubclassA)));
  g_underB = reinterpret_cast<WNDPROC>(SetWindowLongA(stat, GWL_WNDPROC, reinterpret_cast<intptr_t>(SubclassB)));
  EXPECT_EQ(g_underA, original);
  EXPECT_EQ(reinterpret_cast<intptr_t>(g_underB), reinterpret_cast<intptr_t>(SubclassA));
  EXPECT_EQ(GetClassWindowProc(stat), original);
  SendMessageA(stat, WM_USER + 7, 0, 0);
  EXPECT_EQ(g_log, (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(SetWindowTextA(stat, "after"), 0);
  EXPECT_EQ(uitest::TextOf(stat), "before");
  EXPECT_EQ(GetDlgCtrlID(stat), 9);
  EXPECT_EQ(GetParent(stat), host);
  DestroyWindow(host);
}

TEST_F(KitTest, DestructionTellsParentFirstAndReachesOwnedWindows) {
  HWND host = HostWindow();
  HWND parent = CreateWindowExA(0, "XevHostWindow", "p", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, host, 0, nullptr, nullptr);
  g_child = CreateWindowExA(0, "Static", "c", WS_CHILD | WS_VISIBLE, 0, 0, 5, 5, parent, 3, nullptr, nullptr);
  HWND owned = CreateWindowExA(0, "XevHostWindow", "o", WS_POPUP, 0, 0, 5, 5, parent, 0, nullptr, nullptr);
  SetWindowLongA(parent, GWL_WNDPROC, reinterpret_cast<intptr_t>(NoisyOnDestroy));
  SetWindowLongA(g_child, GWL_WNDPROC, reinterpret_cast<intptr_t>(ChildLogger));
  SetTimer(parent, 1, 10, nullptr);
  PostMessageA(parent, WM_USER, 0, 0);
  EXPECT_EQ(GetParent(owned), parent);
  EXPECT_EQ(DestroyWindow(host), 1);
  EXPECT_EQ(g_log, (std::vector<std::string>{"destroy parent", "text set", "second destroy refused", "child alive",
                                             "destroy child"}));
  EXPECT_FALSE(IsWindow(owned));
  XEVUiAdvanceClock(50);
  EXPECT_EQ(XEVUiRunPending(), 0);  // neither the posted message nor the timer survives
}

TEST_F(KitTest, ModalDialogDisablesItsOwnerAndNestsMessageBoxes) {
  HWND host = HostWindow();
  int32_t inner = 0;
  bool ownerDisabled = false, outerDisabledUnderBox = false;
  HWND outer = nullptr;
  Script script;
  script
      .Then([&](HWND modal) {
        outer = modal;
        ownerDisabled = !IsWindowEnabled(host);
        EXPECT_FALSE(XEVUiClick(host));  // the owner takes no input
        // A message box opened from inside the dialog runs its own loop.
        inner = MessageBoxA(modal, "Changes have been made, save before continuing?", "Formula Save",
                            MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
        XEVUiClick(GetDlgItem(modal, 202));
      })
      .Then([&](HWND modal) {
        EXPECT_NE(modal, outer);  // the message box is the innermost modal now
        outerDisabledUnderBox = !IsWindowEnabled(outer);
        XEVUiKey(VK_RETURN, 0, 0);  // the second button is the default
      });
  EXPECT_EQ(DialogBoxParamA(nullptr, "DLGERROR", host, TestDialogProc, 0), 202);
  EXPECT_TRUE(ownerDisabled);
  EXPECT_TRUE(outerDisabledUnderBox);
  EXPECT_EQ(inner, IDNO);
  EXPECT_STREQ(XEVUiLastMessageBoxCaption(), "Formula Save");
  EXPECT_TRUE(IsWindowEnabled(host));
  EXPECT_EQ(XEVUiGetActiveModal(), nullptr);
  EXPECT_EQ(CountSeen(WM_INITDIALOG), 1);
  DestroyWindow(host);
}

// Without input a modal dialog ends cancelled; one that ends in its
// WM_INITDIALOG never enters its loop.
TEST_F(KitTest, ModalDialogsWithoutInputOrEndedInInitDialog) {
  EXPECT_EQ(DialogBoxParamA(nullptr, "DLGERROR", nullptr, TestDialogProc, 0), IDCANCEL);
  EXPECT_EQ(g_dialog.commands[0], IDCANCEL);
  g_dialog = TestDialog{};
  g_dialog.endInInit = true;
  Script script;
  script.Then([](HWND) { ADD_FAILURE() << "the loop ran"; });
  EXPECT_EQ(DialogBoxParamA(nullptr, "DLGFERROR", nullptr, TestDialogProc, 0), 42);
  EXPECT_EQ(script.done(), 0u);
  EXPECT_EQ(CountSeen(WM_PAINT), 0);
}

TEST_F(KitTest, DialogKeysGoToTabStopsDefaultButtonAndCancel) {
  HWND host = HostWindow();
  std::vector<int32_t> focus;  // control ids: the handles die with the dialog
  Script script;
  script
      .Then([&](HWND modal) {
        SetFocus(GetDlgItem(modal, 200));
        XEVUiKey(VK_TAB, 0, 0);
      })
      .Then([&](HWND) {
        focus.push_back(GetDlgCtrlID(GetFocus()));
        XEVUiKey(VK_TAB, 1, 0);
      })
      .Then([&](HWND) {
        focus.push_back(GetDlgCtrlID(GetFocus()));
        XEVUiKey(VK_ESCAPE, 0, 0);
      });
  g_dialog.ignoreCancel = true;
  // Escape is IDCANCEL; this procedure ignores it, so the kit ends the dialog
  // itself once no more input comes, cancelled.
  intptr_t result = DialogBoxParamA(nullptr, "DLGERROR", host, TestDialogProc, 0);
  EXPECT_EQ(result, IDCANCEL);
  ASSERT_EQ(focus.size(), 2u);
  EXPECT_EQ(focus[0], 202);
  EXPECT_EQ(focus[1], 200);
  ASSERT_GE(g_dialog.commandCount, 1);
  EXPECT_EQ(g_dialog.commands[0], IDCANCEL);

  g_dialog = TestDialog{};
  Script pressReturn;
  pressReturn.Then([](HWND modal) {
    SetFocus(GetDlgItem(modal, 202));
    XEVUiKey(VK_RETURN, 0, 0);
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, "DLGERROR", host, TestDialogProc, 0), 202);
  DestroyWindow(host);
}

TEST_F(KitTest, PaintsFollowShowingAndInvalidating) {
  HWND dialog = CreateDialogParamA(nullptr, "EXPTEXTVIEW", nullptr, TestDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(IsWindowVisible(dialog));  // a template marked visible shows itself
  XEVUiRunPending();
  EXPECT_EQ(CountSeen(WM_PAINT), 1);
  XEVUiRunPending();
  EXPECT_EQ(CountSeen(WM_PAINT), 1);
  InvalidateRect(dialog, nullptr, 1);
  XEVUiRunPending();
  EXPECT_EQ(CountSeen(WM_PAINT), 2);
  ShowWindow(dialog, SW_HIDE);
  InvalidateRect(dialog, nullptr, 1);
  XEVUiRunPending();
  EXPECT_EQ(CountSeen(WM_PAINT), 2);  // hidden windows are not painted
  SendMessageA(dialog, WM_CLOSE, 0, 0);  // a dialog's close is its Cancel
  EXPECT_EQ(g_dialog.commands[0], IDCANCEL);
  DestroyWindow(dialog);
}

TEST_F(KitTest, TimersFireOnTheVirtualClockOnceAndStopWhenKilled) {
  HWND dialog = CreateDialogParamA(nullptr, "LISTVALUES", nullptr, TestDialogProc, 0);
  ASSERT_EQ(SetTimer(dialog, 1, 1000, nullptr), 1u);
  XEVUiRunPending();
  XEVUiAdvanceClock(999);
  XEVUiRunPending();
  EXPECT_EQ(CountSeen(WM_TIMER), 0);
  XEVUiAdvanceClock(1);
  XEVUiRunPending();
  EXPECT_EQ(CountSeen(WM_TIMER), 1);
  // However long the clock runs, one WM_TIMER waits at a time.
  XEVUiAdvanceClock(10000);
  XEVUiAdvanceClock(10000);
  XEVUiRunPending();
  EXPECT_EQ(CountSeen(WM_TIMER), 2);
  XEVUiAdvanceClock(1000);
  EXPECT_EQ(KillTimer(dialog, 1), 1);  // the waiting WM_TIMER goes with it
  XEVUiRunPending();
  EXPECT_EQ(CountSeen(WM_TIMER), 2);
  EXPECT_EQ(KillTimer(dialog, 1), 0);
  DestroyWindow(dialog);
}

TEST_F(KitTest, MessageBoxAnswersByButtonsAndEscape) {
  struct Case {
    uint32_t type;
    int32_t key;
    int32_t expected;
  };
  const Case cases[] = {
      {MB_OK, VK_ESCAPE, IDOK},         {MB_YESNOCANCEL, VK_ESCAPE, IDCANCEL},
      {MB_YESNO, VK_RETURN, IDYES},     {MB_YESNO | MB_DEFBUTTON2, VK_RETURN, IDNO},
      {MB_YESNO | MB_ICONSTOP, VK_ESCAPE, IDCANCEL},  // no answer: cancelled when input runs out
  };
  for (const Case& c : cases) {
    Script script;
    script.Then([&](HWND) { XEVUiKey(c.key, 0, 0); });
    EXPECT_EQ(MessageBoxA(nullptr, "Delete Permission Denied.", "Formula Delete", c.type), c.expected)
        << "type " << c.type;
  }
  EXPECT_STREQ(XEVUiLastMessageBoxText(), "Delete Permission Denied.");
}

TEST_F(KitTest, DialogCreationSurvivesEveryAllocationFailure) {
  for (const char* name : {"EXPBILD", "DLGERROR", "DLGFERROR", "EXPTEXTVIEW", "LISTVALUES"}) {
    int64_t refused = 0;
    oom::Sweep(name, [&](oom::Trial& trial) {
      g_dialog = TestDialog{};
      trial.Arm();
      intptr_t result = DialogBoxParamA(nullptr, name, nullptr, TestDialogProc, 0);
      trial.Disarm();
      EXPECT_EQ(xev::ui::kit::LiveWindowCount(), 0);
      if (result == IDCANCEL) return;
      EXPECT_TRUE(trial.failing() && result == -1) << result;
      EXPECT_EQ(CountSeen(WM_INITDIALOG), 0) << "a half-made dialog must not start";
      ++refused;
    });
    EXPECT_GT(refused, 3) << name;
  }
}

TEST_F(KitTest, TemplatesConvertDialogUnitsAndPlaceDialogsOverTheirOwner) {
  HWND host = HostWindow();
  HWND dialog = CreateDialogParamA(nullptr, "DLGERROR", host, TestDialogProc, 0);
  RECT r;
  GetWindowRect(dialog, &r);
  EXPECT_EQ(r.left, 100 + 58 * XEV_UI_CHAR_WIDTH / 4);
  EXPECT_EQ(r.top, 50 + 22 * XEV_UI_LINE_HEIGHT / 8);
  EXPECT_EQ(r.right - r.left, 202 * XEV_UI_CHAR_WIDTH / 4);
  EXPECT_EQ(uitest::TextOf(dialog), "Formula Information");
  XEVUiWindowInfo info;
  ASSERT_TRUE(XEVUiGetWindowInfo(GetDlgItem(dialog, 200), &info));
  EXPECT_EQ(info.kind, XEV_UI_EDIT);
  EXPECT_STREQ(info.className, "UxCtrlEdit");
  EXPECT_TRUE(info.style & XEV_ES_MULTILINE);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), XEV_UI_SCREEN_WIDTH);
  DestroyWindow(host);  // takes the owned dialog with it
  EXPECT_FALSE(IsWindow(dialog));
}
