// The edit control where the editor's tests do not reach it: caret keys and
// mouse selections that are byte-exact in a double-byte code page, the
// limit, the clipboard, read-only copies and the change notifications.
#include <string>
#include <utility>
#include <vector>

#include "ui/ui_test_support.h"

using namespace xev::ui;

namespace {

const std::string kWide = "\x82\xA0";  // one double-byte character in code page 932
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

using Sel = std::pair<uint32_t, uint32_t>;

class EditControl : public uitest::KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    host_ = XEVUiCreateHostWindow("host", 0, 0, 400, 300);
    ASSERT_NE(host_, nullptr);
    auto recording = reinterpret_cast<intptr_t>(&RecordingProc);
    gHostProc = reinterpret_cast<WNDPROC>(SetWindowLongA(host_, GWL_WNDPROC, recording));
    gNotices.clear();
  }
  void TearDown() override {
    HostFailAllocationAfter(0);
    DestroyWindow(host_);
    XEVUiSetPresenter(nullptr);
    HostSetCodePage(XEV_CP_WESTERN);
    KitTest::TearDown();
  }

  HWND Edit(uint32_t style, const std::string& text = "", HWND parent = nullptr, int32_t id = kId) {
    return CreateWindowExA(0, "UxCtrlEdit", text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 200, 100,
                           parent != nullptr ? parent : host_, id, nullptr, nullptr);
  }
  static std::string Text(HWND edit) {
    char buffer[256];
    GetWindowTextA(edit, buffer, sizeof buffer);
    return buffer;
  }
  static Sel SelOf(HWND edit) {
    uint32_t start = 99, end = 99;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }
  static void Select(HWND edit, intptr_t from, intptr_t to) { SendMessageA(edit, EM_SETSEL, WPARAM(from), to); }
  // Input goes through the queue and the driver, as a person's would.
  static void Key(int32_t key, bool shift = false, bool ctrl = false) { XEVUiKey(key, shift, ctrl); XEVUiRunPending(); }
  static void Type(const std::string& text) { XEVUiType(text.c_str()); XEVUiRunPending(); }
  static void Click(HWND edit, int32_t x, int32_t y, int32_t n = 1) { XEVUiClickAt(edit, x, y, n); XEVUiRunPending(); }

  HWND host_ = nullptr;
};

TEST_F(EditControl, CaretKeysMoveByCharacterLineAndText) {
  ASSERT_TRUE(HostSetCodePage(XEV_CP_SHIFTJIS));
  HWND edit = Edit(ES_MULTILINE, "a" + kWide + "b\r\nwxyz");
  SetFocus(edit);
  Select(edit, 8, 8);
  Key(VK_UP);
  EXPECT_EQ(SelOf(edit), Sel(1, 1));  // column 2 falls inside the wide character
  Key(VK_DOWN);
  Key(VK_LEFT);
  Key(VK_LEFT);
  EXPECT_EQ(SelOf(edit), Sel(4, 4));  // "\r\n" is one step
  Key(VK_HOME, true);
  Key(VK_RIGHT);
  EXPECT_EQ(SelOf(edit), Sel(4, 4));  // a selection collapses onto its end
  Key(VK_END, true, true);
  EXPECT_EQ(SelOf(edit), Sel(4, 10));
  Key(VK_LEFT);
  Key(VK_DELETE);
  EXPECT_EQ(Text(edit), "a" + kWide + "bwxyz");
  EXPECT_EQ(SendMessageA(edit, EM_GETLINECOUNT, 0, 0), 1);
}

TEST_F(EditControl, SetSelClampsAndSnapsOffsets) {
  ASSERT_TRUE(HostSetCodePage(XEV_CP_SHIFTJIS));
  HWND edit = Edit(0, "a" + kWide);
  SetFocus(edit);
  Select(edit, 0, -1);
  EXPECT_EQ(SendMessageA(edit, EM_GETSEL, 0, 0), MAKELPARAM(0, 3));
  Select(edit, 2, 99);
  EXPECT_EQ(SelOf(edit), Sel(1, 3));
  Select(edit, 3, 0);  // backwards: the caret is at 0
  Select(edit, -1, 0);
  EXPECT_EQ(SelOf(edit), Sel(0, 0));
  Select(edit, 0, MAKELPARAM(1, 3));  // both ends packed into lParam
  EXPECT_EQ(SelOf(edit), Sel(1, 3));
}

TEST_F(EditControl, MouseSelectsByNearestCharacterBoundary) {
  ASSERT_TRUE(HostSetCodePage(XEV_CP_SHIFTJIS));
  // Fixed metrics: 'a' spans x 0-6, the wide character 6-18, 'b' 18-24.
  HWND edit = Edit(ES_MULTILINE, "a" + kWide + "b\r\nfoo bar");
  Click(edit, 11, 2);
  EXPECT_EQ(CountOf(EN_SETFOCUS), 1);
  EXPECT_EQ(SelOf(edit), Sel(1, 1));
  Click(edit, 13, 2);
  EXPECT_EQ(SelOf(edit), Sel(3, 3));
  XEVUiPostMessage(edit, WM_LBUTTONDOWN, 0x0005, MAKELPARAM(100, 14));  // with Shift
  XEVUiRunPending();
  EXPECT_EQ(SelOf(edit), Sel(3, 13));
  XEVUiDrag(edit, 0, 0, 7 * 6, 13);
  XEVUiRunPending();
  EXPECT_EQ(SelOf(edit), Sel(0, 13));
  Click(edit, 5 * 6 + 1, 14, 2);
  EXPECT_EQ(SelOf(edit), Sel(10, 13));  // the word "bar"
  EXPECT_EQ(SendMessageA(edit, EM_CHARFROMPOS, 0, MAKELPARAM(9, 20)), MAKELPARAM(8, 1));
  XEVUiPresenter presenter{};
  presenter.charFromPoint = [](void*, XEVHWND, int32_t, int32_t) -> int32_t { return 2; };
  XEVUiSetPresenter(&presenter);
  Click(edit, 0, 0);
  EXPECT_EQ(SelOf(edit), Sel(1, 1));  // the presenter's offset is moved off the trail byte
}

TEST_F(EditControl, LimitCutsInsertionsAtACharacterBoundary) {
  ASSERT_TRUE(HostSetCodePage(XEV_CP_SHIFTJIS));
  HWND edit = Edit(0);
  SendMessageA(edit, EM_LIMITTEXT, 4, 0);
  EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 4);
  SetWindowTextA(edit, "ab");
  Select(edit, 2, 2);
  SendMessageA(edit, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(("c" + kWide).c_str()));
  EXPECT_EQ(Text(edit), "abc");
  EXPECT_EQ(CountOf(EN_MAXTEXT), 1);
  gNotices.clear();
  SetFocus(edit);
  Type(kWide);
  EXPECT_EQ(CountOf(EN_MAXTEXT), 1);
  EXPECT_EQ(CountOf(EN_CHANGE), 0);
  Type("de");
  EXPECT_EQ(Text(edit), "abcd");
  SendMessageA(edit, EM_LIMITTEXT, 0, 0);
  Type(kWide);
  EXPECT_EQ(Text(edit), "abcd" + kWide);
}

TEST_F(EditControl, ClipboardRoundTrips) {
  HWND single = Edit(0, "one two");
  HWND multi = Edit(ES_MULTILINE, "x");
  SetFocus(single);
  Select(single, 4, 7);
  Key('C', false, true);
  EXPECT_STREQ(XEVUiGetClipboardText(), "two");
  Select(single, 0, 4);
  Key('X', false, true);
  EXPECT_EQ(Text(single), "two");
  Key('V', false, true);
  EXPECT_EQ(Text(single), "one two");
  SendMessageA(single, WM_COPY, 0, 0);  // nothing selected: the clipboard stays
  EXPECT_STREQ(XEVUiGetClipboardText(), "one ");
  XEVUiSetClipboardText("a\r\nb");
  Select(single, 4, -1);
  SendMessageA(single, WM_PASTE, 0, 0);
  EXPECT_EQ(Text(single), "one a");
  SendMessageA(multi, WM_PASTE, 0, 0);
  Select(multi, 0, 1);
  SetFocus(multi);
  Key(VK_DELETE, true);
  EXPECT_EQ(Text(multi), "\r\nbx");
  EXPECT_STREQ(XEVUiGetClipboardText(), "a");
  Select(multi, 2, 4);
  SendMessageA(multi, WM_CLEAR, 0, 0);
  XEVUiSetClipboardText(nullptr);
  gNotices.clear();
  SendMessageA(multi, WM_PASTE, 0, 0);
  EXPECT_EQ(Text(multi), "\r\n");
  EXPECT_TRUE(gNotices.empty());
}

TEST_F(EditControl, ReadOnlyIgnoresChangesButCopies) {
  HWND edit = Edit(ES_READONLY | ES_MULTILINE, "fixed");
  SetFocus(edit);
  XEVUiSetClipboardText("pasted");
  gNotices.clear();
  Type("z");
  Key('A', false, true);
  for (int32_t key : {VK_BACK, VK_DELETE, int32_t{'X'}, int32_t{'V'}}) Key(key, false, key >= 'A');
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
  EXPECT_EQ(SelOf(single), Sel(0, 0));
  Type("\r\n\t");
  SetFocus(multi);
  EXPECT_EQ(CountOf(EN_KILLFOCUS), 1);
  Type("\r");
  SendMessageA(wants, WM_CHAR, '\r', 0);
  EXPECT_EQ(Text(single) + "|" + Text(multi) + "|" + Text(wants), "abc|abc|\r\n");
  EXPECT_EQ(SendMessageA(wants, EM_GETLINECOUNT, 0, 0), 2);
  EXPECT_TRUE(SendMessageA(multi, WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS);
}

}  // namespace
