// The edit control as the dialogs drive it: byte-exact selections in a
// double-byte code page, the limit, the clipboard, read-only copies, the
// change notifications and what a failed allocation leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/ui/kit.h"
#include "platform/ui/ui.h"
#include "xev/xevhost.h"

using namespace xev::ui;

namespace {

// "\x82\xA0" is one double-byte character in code page 932.
constexpr const char* kWide = "\x82\xA0";
constexpr int32_t kId = 10;

std::vector<int32_t> gNotices;  // notification codes the host window heard
WNDPROC gHostProc = nullptr;

LRESULT XEV_CALL RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == kId) gNotices.push_back(HIWORD(wParam));
  return CallWindowProcA(gHostProc, window, message, wParam, lParam);
}

int32_t CountOf(int32_t code) {
  int32_t n = 0;
  for (int32_t c : gNotices) n += c == code ? 1 : 0;
  return n;
}

class EditControl : public ::testing::Test {
 protected:
  void SetUp() override {
    blocks_ = HostLiveBlockCount();
    host_ = XEVUiCreateHostWindow("host", 0, 0, 400, 300);
    ASSERT_NE(host_, nullptr);
    gHostProc = reinterpret_cast<WNDPROC>(SetWindowLongA(host_, GWL_WNDPROC, reinterpret_cast<intptr_t>(&RecordingProc)));
    gNotices.clear();
  }
  void TearDown() override {
    HostFailAllocationAfter(0);
    DestroyWindow(host_);
    XEVUiSetClipboardText(nullptr);
    XEVUiSetPresenter(nullptr);
    HostSetCodePage(XEV_CP_WESTERN);
    EXPECT_EQ(xev::ui::kit::LiveWindowCount(), 0);
    EXPECT_EQ(HostLiveBlockCount(), blocks_);
  }

  HWND Edit(uint32_t style, const char* text = "") {
    return CreateWindowExA(0, "UxCtrlEdit", text, WS_CHILD | WS_VISIBLE | style, 0, 0, 200, 100, host_, kId,
                           nullptr, nullptr);
  }
  static std::string Text(HWND edit) {
    char buffer[256];
    GetWindowTextA(edit, buffer, sizeof buffer);
    return buffer;
  }
  static std::pair<uint32_t, uint32_t> Sel(HWND edit) {
    uint32_t start = 99, end = 99;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }
  static void Key(int32_t key, bool shift = false, bool control = false) {
    XEVUiKey(key, shift ? 1 : 0, control ? 1 : 0);
    XEVUiRunPending();
  }
  static void Type(const char* text) {
    XEVUiType(text);
    XEVUiRunPending();
  }
  static void Click(HWND edit, int32_t x, int32_t y, int32_t clicks = 1) {
    XEVUiClickAt(edit, x, y, clicks);
    XEVUiRunPending();
  }
  static std::pair<uint32_t, uint32_t> At(uint32_t a, uint32_t b) { return {a, b}; }

  HWND host_ = nullptr;
  int64_t blocks_ = 0;
};

TEST_F(EditControl, TypingAndBackspaceKeepDoubleByteCharactersWhole) {
  ASSERT_TRUE(HostSetCodePage(XEV_CP_SHIFTJIS));
  HWND edit = Edit(0);
  SetFocus(edit);
  Type("a\x82");
  EXPECT_EQ(Text(edit), "a");  // the lead byte waits for its trail
  Type("\xA0" "b\x83\x5C");   // the trail of the last character is a backslash
  EXPECT_EQ(Text(edit), std::string("a") + kWide + "b\x83\x5C");
  EXPECT_EQ(Sel(edit), At(6, 6));
  EXPECT_EQ(CountOf(EN_CHANGE), 4);
  Key(VK_BACK);
  Key(VK_LEFT);
  EXPECT_EQ(Sel(edit), At(3, 3));
  Key(VK_LEFT);
  EXPECT_EQ(Sel(edit), At(1, 1));
  Key(VK_RIGHT, true);
  EXPECT_EQ(Sel(edit), At(1, 3));
  Key(VK_BACK);
  EXPECT_EQ(Text(edit), "ab");
  // A lead byte followed by a control character is dropped.
  Type("\x82");
  SendMessageA(edit, WM_CHAR, 0x01, 0);
  Type("c");
  EXPECT_EQ(Text(edit), "c");
  EXPECT_EQ(SendMessageA(edit, EM_GETMODIFY, 0, 0), 1);
}

TEST_F(EditControl, CaretKeysMoveByCharacterLineAndText) {
  ASSERT_TRUE(HostSetCodePage(XEV_CP_SHIFTJIS));
  HWND edit = Edit(ES_MULTILINE, (std::string("a") + kWide + "b\r\nwxyz").c_str());
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 8, 8);
  Key(VK_UP);
  EXPECT_EQ(Sel(edit), At(1, 1));  // column 2 falls inside the wide character
  Key(VK_DOWN);
  EXPECT_EQ(Sel(edit), At(7, 7));
  Key(VK_LEFT);
  Key(VK_LEFT);
  EXPECT_EQ(Sel(edit), At(4, 4));  // "\r\n" is one step
  Key(VK_HOME, true);
  EXPECT_EQ(Sel(edit), At(0, 4));
  Key(VK_RIGHT);
  EXPECT_EQ(Sel(edit), At(4, 4));  // a selection collapses onto its end
  Key(VK_END, true, true);
  EXPECT_EQ(Sel(edit), At(4, 10));
  Key(VK_LEFT);
  EXPECT_EQ(Sel(edit), At(4, 4));
  Key(VK_DELETE);
  EXPECT_EQ(Text(edit), std::string("a") + kWide + "bwxyz");
  EXPECT_EQ(SendMessageA(edit, EM_GETLINECOUNT, 0, 0), 1);
  Key(VK_HOME, false, true);
  Key(VK_DOWN, true);  // no line below: nothing moves
  EXPECT_EQ(Sel(edit), At(0, 0));
}

TEST_F(EditControl, SetSelClampsAndSnapsOffsets) {
  ASSERT_TRUE(HostSetCodePage(XEV_CP_SHIFTJIS));
  HWND edit = Edit(0, (std::string("a") + kWide).c_str());
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  EXPECT_EQ(SendMessageA(edit, EM_GETSEL, 0, 0), MAKELPARAM(0, 3));
  SendMessageA(edit, EM_SETSEL, 2, 99);
  EXPECT_EQ(Sel(edit), At(1, 3));
  SendMessageA(edit, EM_SETSEL, 3, 0);  // backwards: the caret is at 0
  EXPECT_EQ(Sel(edit), At(0, 3));
  SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);
  EXPECT_EQ(Sel(edit), At(0, 0));
  SendMessageA(edit, EM_SETSEL, 3, 3);
  Key(VK_LEFT, true);
  EXPECT_EQ(Sel(edit), At(1, 3));
}

TEST_F(EditControl, MouseSelectsByNearestCharacterBoundary) {
  ASSERT_TRUE(HostSetCodePage(XEV_CP_SHIFTJIS));
  // Fixed metrics: 'a' spans x 0-6, the wide character 6-18, 'b' 18-24.
  HWND edit = Edit(ES_MULTILINE, (std::string("a") + kWide + "b\r\nfoo bar").c_str());
  Click(edit, 11, 2);
  EXPECT_EQ(GetFocus(), edit);
  EXPECT_EQ(CountOf(EN_SETFOCUS), 1);
  EXPECT_EQ(Sel(edit), At(1, 1));
  Click(edit, 13, 2);
  EXPECT_EQ(Sel(edit), At(3, 3));
  XEVUiPostMessage(edit, WM_LBUTTONDOWN, 0x0005, MAKELPARAM(100, 14));  // with Shift
  XEVUiRunPending();
  EXPECT_EQ(Sel(edit), At(3, 13));
  XEVUiDrag(edit, 0, 0, 7 * 6, 13);
  XEVUiRunPending();
  EXPECT_EQ(Sel(edit), At(0, 13));
  Click(edit, 5 * 6 + 1, 14, 2);
  EXPECT_EQ(Sel(edit), At(10, 13));  // the word "bar"
  EXPECT_EQ(SendMessageA(edit, EM_CHARFROMPOS, 0, MAKELPARAM(9, 20)), MAKELPARAM(8, 1));
  // A presenter's answer inside a wide character is moved off it.
  XEVUiPresenter presenter{};
  presenter.charFromPoint = [](void*, XEVHWND, int32_t, int32_t) -> int32_t { return 2; };
  XEVUiSetPresenter(&presenter);
  Click(edit, 0, 0);
  EXPECT_EQ(Sel(edit), At(1, 1));
}

TEST_F(EditControl, LimitCutsInsertionsAtACharacterBoundary) {
  ASSERT_TRUE(HostSetCodePage(XEV_CP_SHIFTJIS));
  HWND edit = Edit(0);
  SendMessageA(edit, EM_LIMITTEXT, 4, 0);
  EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 4);
  SetWindowTextA(edit, "ab");
  SendMessageA(edit, EM_SETSEL, 2, 2);
  SendMessageA(edit, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>((std::string("c") + kWide).c_str()));
  EXPECT_EQ(Text(edit), "abc");
  EXPECT_EQ(CountOf(EN_MAXTEXT), 1);
  gNotices.clear();
  SetFocus(edit);
  Type(kWide);
  EXPECT_EQ(Text(edit), "abc");
  EXPECT_EQ(CountOf(EN_MAXTEXT), 1);
  EXPECT_EQ(CountOf(EN_CHANGE), 0);
  Type("de");
  EXPECT_EQ(Text(edit), "abcd");
  SendMessageA(edit, EM_LIMITTEXT, 0, 0);  // no limit
  Type(kWide);
  EXPECT_EQ(Text(edit), std::string("abcd") + kWide);
}

TEST_F(EditControl, ClipboardRoundTrips) {
  HWND single = Edit(0, "one two");
  HWND multi = Edit(ES_MULTILINE, "x");
  SetFocus(single);
  SendMessageA(single, EM_SETSEL, 4, 7);
  Key('C', false, true);
  EXPECT_STREQ(XEVUiGetClipboardText(), "two");
  SendMessageA(single, EM_SETSEL, 0, 4);
  Key('X', false, true);
  EXPECT_EQ(Text(single), "two");
  EXPECT_STREQ(XEVUiGetClipboardText(), "one ");
  Key('V', false, true);
  EXPECT_EQ(Text(single), "one two");
  SendMessageA(single, WM_COPY, 0, 0);  // nothing selected: the clipboard stays
  EXPECT_STREQ(XEVUiGetClipboardText(), "one ");
  XEVUiSetClipboardText("a\r\nb");
  SendMessageA(single, EM_SETSEL, 4, -1);
  SendMessageA(single, WM_PASTE, 0, 0);
  EXPECT_EQ(Text(single), "one a");
  SendMessageA(multi, WM_PASTE, 0, 0);
  EXPECT_EQ(Text(multi), "a\r\nbx");
  SendMessageA(multi, EM_SETSEL, 0, 1);
  SetFocus(multi);
  Key(VK_DELETE, true);
  EXPECT_EQ(Text(multi), "\r\nbx");
  EXPECT_STREQ(XEVUiGetClipboardText(), "a");
  SendMessageA(multi, EM_SETSEL, 2, 4);
  SendMessageA(multi, WM_CLEAR, 0, 0);
  EXPECT_EQ(Text(multi), "\r\n");
  XEVUiSetClipboardText(nullptr);
  gNotices.clear();
  SendMessageA(multi, WM_PASTE, 0, 0);
  EXPECT_TRUE(gNotices.empty());
}

TEST_F(EditControl, ReadOnlyIgnoresChangesButCopies) {
  HWND edit = Edit(ES_READONLY | ES_MULTILINE, "fixed");
  SetFocus(edit);
  XEVUiSetClipboardText("pasted");
  gNotices.clear();
  Type("z");
  Key('A', false, true);
  Key(VK_BACK);
  Key(VK_DELETE);
  Key('X', false, true);
  Key('V', false, true);
  SendMessageA(edit, WM_CLEAR, 0, 0);
  EXPECT_EQ(Text(edit), "fixed");
  EXPECT_EQ(CountOf(EN_CHANGE), 0);
  Key('C', false, true);
  EXPECT_STREQ(XEVUiGetClipboardText(), "fixed");
  SendMessageA(edit, EM_SETREADONLY, 0, 0);
  EXPECT_EQ(GetWindowLongA(edit, GWL_STYLE) & ES_READONLY, 0);
  Type("z");
  EXPECT_EQ(Text(edit), "z");
}

TEST_F(EditControl, ChangeNotificationsAndLineBreaks) {
  HWND single = Edit(0);
  HWND multi = Edit(ES_MULTILINE);
  HWND wants = Edit(ES_MULTILINE | ES_WANTRETURN);
  SetFocus(single);
  SendMessageA(single, EM_SETMODIFY, 1, 0);
  SetWindowTextA(single, "abc");
  SetWindowTextA(multi, "abc");
  EXPECT_EQ(CountOf(EN_CHANGE), 1);  // the multi-line edit stays quiet
  EXPECT_EQ(SendMessageA(single, EM_GETMODIFY, 0, 0), 0);
  EXPECT_EQ(Sel(single), At(0, 0));
  Type("\r\n\t");
  EXPECT_EQ(Text(single), "abc");
  SetFocus(multi);
  EXPECT_EQ(CountOf(EN_KILLFOCUS), 1);
  SendMessageA(multi, WM_CHAR, '\r', 0);
  EXPECT_EQ(Text(multi), "abc");
  SendMessageA(wants, WM_CHAR, '\r', 0);
  EXPECT_EQ(Text(wants), "\r\n");
  EXPECT_EQ(SendMessageA(wants, EM_GETLINECOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageA(single, WM_GETDLGCODE, 0, 0), DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS);
  EXPECT_TRUE(SendMessageA(multi, WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS);
}

TEST_F(EditControl, ReturnInADialogsMultiLineEditPressesTheDefaultButton) {
  static std::vector<std::pair<int32_t, LPARAM>> commands;
  commands.clear();
  HWND dialog = CreateWindowExA(0, "#32770", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, host_, 0, nullptr, nullptr);
  SetWindowLongA(dialog, DWL_DLGPROC,
                 reinterpret_cast<intptr_t>(+[](XEVHWND, uint32_t message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
                   if (message == WM_COMMAND) commands.emplace_back(LOWORD(wParam), lParam);
                   return 0;
                 }));
  HWND button = CreateWindowExA(0, "Button", "OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 0, 10, 10, dialog, 5,
                                nullptr, nullptr);
  HWND text = CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 10, 10, dialog, 6, nullptr,
                              nullptr);
  HWND keeps = CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 0, 0, 10, 10,
                               dialog, 7, nullptr, nullptr);
  SendMessageA(keeps, WM_KEYDOWN, VK_RETURN, 0);
  SendMessageA(Edit(ES_MULTILINE), WM_KEYDOWN, VK_RETURN, 0);  // its parent is no dialog
  EXPECT_TRUE(commands.empty());
  SendMessageA(text, WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].first, 5);
  EXPECT_EQ(commands[0].second, reinterpret_cast<LPARAM>(button));
  DestroyWindow(dialog);
}

// Every allocation of an edit's operation failing in turn: the operation
// either completes or leaves text, selection and modify flag untouched and
// says nothing.
TEST_F(EditControl, FailedAllocationsLeaveTheEditAsItWas) {
  ASSERT_TRUE(HostSetCodePage(XEV_CP_SHIFTJIS));
  const std::string before = std::string("a") + kWide + "b";
  auto type = [](HWND edit) {
    SendMessageA(edit, WM_CHAR, 0x82, 0);
    SendMessageA(edit, WM_CHAR, 0xA0, 0);
  };
  auto paste = [](HWND edit) { SendMessageA(edit, WM_PASTE, 0, 0); };
  auto backspace = [](HWND edit) { SendMessageA(edit, WM_CHAR, VK_BACK, 0); };
  struct Case {
    void (*act)(HWND);
    uint32_t start, end;
    std::string after;
  } cases[] = {{type, 3, 3, std::string("a") + kWide + kWide + "b"}, {paste, 1, 3, "ayzb"}, {backspace, 3, 3, "ab"}};
  for (const Case& c : cases) {
    bool done = false;
    for (int64_t n = 1; n < 20 && !done; ++n) {
      XEVUiSetClipboardText("yz");
      int64_t blocks = HostLiveBlockCount();
      HWND edit = Edit(0, before.c_str());
      ASSERT_NE(edit, nullptr);
      SendMessageA(edit, EM_SETSEL, c.start, c.end);
      gNotices.clear();
      HostFailAllocationAfter(n);
      c.act(edit);
      HostFailAllocationAfter(0);
      done = Text(edit) == c.after;
      if (!done) {
        EXPECT_EQ(Text(edit), before) << n;
        EXPECT_EQ(SendMessageA(edit, EM_GETMODIFY, 0, 0), 0) << n;
        EXPECT_TRUE(gNotices.empty()) << n;
        EXPECT_EQ(Sel(edit), At(c.start, c.end)) << n;
      }
      DestroyWindow(edit);
      EXPECT_EQ(HostLiveBlockCount(), blocks) << n;
    }
    EXPECT_TRUE(done);
  }
  // Creation itself: either an edit or nothing left behind.
  for (int64_t n = 1; n < 10; ++n) {
    int64_t blocks = HostLiveBlockCount();
    HostFailAllocationAfter(n);
    HWND edit = Edit(0, "text");
    HostFailAllocationAfter(0);
    DestroyWindow(edit);
    EXPECT_EQ(HostLiveBlockCount(), blocks) << n;
  }
}

}  // namespace
