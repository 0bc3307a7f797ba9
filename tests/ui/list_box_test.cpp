// List boxes and combo boxes where the editor's tests do not reach them:
// sorted insertion and reset, geometry, selection by keys with its
// notifications, owner drawing read back through the recording device
// context, bitmaps and text metrics, and combo boxes.
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/kit.h"
#include "platform/ui/ui.h"
#include "ui/ui_test_support.h"

using namespace xev::ui;
using uitest::KitTest;

namespace {

constexpr int32_t kListId = 114;
constexpr uint32_t kSortedCombo = 0x0100;
using Notes = std::vector<std::pair<int32_t, int32_t>>;  // (id, code)

// The parent records notifications and draws entries as the editor does:
// bitmap, text after it, inverted when selected, focus rectangle when focused.
struct Parent {
  WNDPROC underlying = nullptr;
  Notes commands;
  HBITMAP bitmap = nullptr;
  HWND deleteWhileDrawing = nullptr;  // a list whose entry goes while it is drawn
};
Parent g_parent;

LRESULT Send(HWND w, UINT m, intptr_t wParam = 0, intptr_t lParam = 0) {
  return SendMessageA(w, m, static_cast<WPARAM>(wParam), lParam);
}
LRESULT SendText(HWND w, UINT m, intptr_t wParam, const char* text) {
  return Send(w, m, wParam, reinterpret_cast<LPARAM>(text));
}

LRESULT XEV_CALL ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) {
    g_parent.commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
    return 0;
  }
  if (message == WM_MEASUREITEM) {
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (measure->CtlType == ODT_LISTBOX && measure->CtlID == static_cast<UINT>(kListId)) measure->itemHeight = 15;
    return 1;
  }
  if (message != WM_DRAWITEM) return CallWindowProcA(g_parent.underlying, window, message, wParam, lParam);
  auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
  if (g_parent.deleteWhileDrawing == draw->hwndItem) {
    g_parent.deleteWhileDrawing = nullptr;
    Send(draw->hwndItem, LB_DELETESTRING, draw->itemID);
    return 1;
  }
  char text[64] = {};
  auto length = static_cast<int32_t>(SendText(draw->hwndItem, LB_GETTEXT, draw->itemID, text));
  DrawBitmap(draw->hDC, g_parent.bitmap, draw->rcItem.left, draw->rcItem.top + 1);
  TextOutA(draw->hDC, draw->rcItem.left + 16, draw->rcItem.top + 1, text, length);
  if (draw->itemState & ODS_SELECTED) InvertRect(draw->hDC, &draw->rcItem);
  if (draw->itemState & ODS_FOCUS) DrawFocusRect(draw->hDC, &draw->rcItem);
  return 1;
}

class ListBoxTest : public KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    g_parent = Parent{};
    host_ = XEVUiCreateHostWindow("host", 100, 50, 400, 300);
    ASSERT_NE(host_, nullptr);
    g_parent.underlying =
        reinterpret_cast<WNDPROC>(SetWindowLongA(host_, GWL_WNDPROC, reinterpret_cast<intptr_t>(&ParentProc)));
  }
  void TearDown() override {
    DeleteObject(g_parent.bitmap);
    DestroyWindow(host_);
    KitTest::TearDown();
  }
  // A visible list 100 pixels wide at (10, 10); rows are 13 pixels unless owner-drawn.
  HWND List(uint32_t style, int32_t height = 65, int32_t id = kListId) {
    return CreateWindowExA(0, "ListBox", "", WS_CHILD | WS_VISIBLE | style, 10, 10, 100, height, host_, id, nullptr,
                           nullptr);
  }
  HWND Combo(uint32_t style) {
    return CreateWindowExA(0, "ComboBox", "", WS_CHILD | WS_VISIBLE | style, 10, 100, 100, 20, host_, 7, nullptr,
                           nullptr);
  }
  HWND host_ = nullptr;
};

// Every entry's text, joined with blanks; a combo box's through its own messages.
std::string Entries(HWND box, bool combo = false) {
  std::string all;
  LRESULT count = Send(box, combo ? CB_GETCOUNT : LB_GETCOUNT);
  for (int32_t i = 0; i < count; ++i) {
    char text[64] = "<err>";
    SendText(box, combo ? CB_GETLBTEXT : LB_GETTEXT, i, text);
    all += (i > 0 ? " " : "") + std::string(text);
  }
  return all;
}

void AddAll(HWND box, std::initializer_list<const char*> texts, UINT message = LB_ADDSTRING) {
  for (const char* text : texts) SendText(box, message, -1, text);  // inserting appends
}

LRESULT Selection(HWND list) { return Send(list, LB_GETCURSEL); }
std::pair<int32_t, int32_t> Note(int32_t code) { return {kListId, code}; }

// Queues the input, runs it, and returns the notifications it brought.
template <typename Input>
Notes NotesOf(Input input) {
  g_parent.commands.clear();
  input();
  XEVUiRunPending();
  return g_parent.commands;
}

uint32_t g_drawingChanges = 0;
void XEV_CALL CountDrawing(void*, XEVHWND, uint32_t what) { g_drawingChanges += (what & XEV_UI_CHANGED_DRAWING) ? 1 : 0; }

}  // namespace

TEST_F(ListBoxTest, SortedListKeepsEqualTextsInArrivalOrderAndEmptiesOnReset) {
  HWND list = List(LBS_SORT);
  AddAll(list, {"beta", "Alpha", "alpha", "Gamma", "BETA", "a", ""});
  EXPECT_EQ(Entries(list), " a Alpha alpha beta BETA Gamma");
  Send(list, LB_RESETCONTENT);
  EXPECT_EQ(Send(list, LB_GETCOUNT), 0);
  DestroyWindow(list);
}

TEST_F(ListBoxTest, GeometryFollowsTopIndexAndItemHeight) {
  HWND list = List(0, 40);  // three rows
  AddAll(list, {"a", "b", "c", "d", "e", "f"});
  EXPECT_EQ(Send(list, LB_SETTOPINDEX, 2), 0);
  RECT r{};
  Send(list, LB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.right, r.bottom}), (std::vector<int32_t>{0, 13, 100, 26}));
  EXPECT_EQ(Send(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(5, 30)), MAKELPARAM(4, 0));
  EXPECT_EQ(HIWORD(static_cast<uintptr_t>(Send(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(500, 5)))), 1);
  // The list never scrolls past its last page, and selecting scrolls into view.
  Send(list, LB_SETTOPINDEX, 5);
  EXPECT_EQ(Send(list, LB_GETTOPINDEX), 3);
  Send(list, LB_SETCURSEL, 0);
  EXPECT_EQ(Send(list, LB_GETTOPINDEX), 0);
  EXPECT_EQ(Send(list, LB_SETITEMHEIGHT, 0, 20), 0);
  EXPECT_EQ(Send(list, LB_GETITEMHEIGHT), 20);
  DestroyWindow(list);
}

TEST_F(ListBoxTest, ArrowKeysMoveTheSelectionAndScroll) {
  HWND list = List(LBS_NOTIFY, 27);  // two rows
  AddAll(list, {"a", "b", "c", "d"});
  EXPECT_EQ(Send(list, WM_GETDLGCODE), DLGC_WANTARROWS | DLGC_WANTCHARS);
  SetFocus(list);
  const std::pair<int32_t, LRESULT> steps[] = {{VK_DOWN, 0}, {VK_DOWN, 1}, {VK_END, 3}, {VK_DOWN, 3},
                                               {VK_UP, 2},   {VK_HOME, 0}, {VK_UP, 0},  {VK_LEFT, 0}};
  LRESULT before = LB_ERR;
  for (auto [key, expected] : steps) {
    Notes notes = NotesOf([key = key] { XEVUiKey(key, 0, 0); });
    EXPECT_EQ(Selection(list), expected) << key;
    EXPECT_EQ(notes, expected != before ? Notes{Note(LBN_SELCHANGE)} : Notes{}) << key;
    before = expected;
    if (key == VK_END) {
      EXPECT_EQ(Send(list, LB_GETTOPINDEX), 2);
    }
  }
  EXPECT_EQ(Send(list, LB_GETTOPINDEX), 0);
  DestroyWindow(list);
}

TEST_F(ListBoxTest, OwnerDrawnListMeasuresOnceAndRecordsWhatTheOwnerDrew) {
  XEVUiPresenter presenter{};
  presenter.windowChanged = CountDrawing;
  XEVUiSetPresenter(&presenter);
  g_drawingChanges = 0;
  g_parent.bitmap = LoadBitmapA(nullptr, "formulal");
  ASSERT_NE(g_parent.bitmap, nullptr);
  HWND list = List(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, 45);  // three rows of 15
  EXPECT_EQ(Send(list, LB_GETITEMHEIGHT), 15);
  AddAll(list, {"[ New Formula ]", "Total", "Margin", "Tax"}, LB_INSERTSTRING);
  Send(list, LB_SETCURSEL, 1);
  SetFocus(list);
  XEVUiRunPending();

  XEVUiDrawnItem item{};
  ASSERT_EQ(XEVUiGetDrawnItem(list, 1, &item), 1);
  EXPECT_STREQ(item.text, "Total");
  EXPECT_STREQ(item.bitmapName, "FORMULAL");
  EXPECT_EQ((std::vector<int32_t>{item.textX, item.textY, item.bitmapWidth, item.bitmapHeight, item.inverted,
                                  item.focusRect}),
            (std::vector<int32_t>{16, 16, 16, 12, 1, 1}));
  EXPECT_EQ((std::vector<int32_t>{item.itemRect.left, item.itemRect.top, item.itemRect.right, item.itemRect.bottom}),
            (std::vector<int32_t>{0, 15, 100, 30}));
  ASSERT_EQ(XEVUiGetDrawnItem(list, 0, &item), 1);
  EXPECT_EQ(item.inverted + item.focusRect, 0);
  EXPECT_EQ(XEVUiGetDrawnItem(list, 3, &item), 0);  // below the visible rows
  EXPECT_GE(g_drawingChanges, 1u);

  // A new selection is drawn at the next paint; losing the focus takes the rectangle away.
  Send(list, LB_SETCURSEL, 2);
  SetFocus(nullptr);
  XEVUiRunPending();
  XEVUiGetDrawnItem(list, 1, &item);
  EXPECT_EQ(item.inverted, 0);
  XEVUiGetDrawnItem(list, 2, &item);
  EXPECT_EQ(item.inverted - item.focusRect, 1);

  // An owner that deletes the entry it is drawing leaves nothing dangling,
  // and the entry's earlier record goes with it.
  g_parent.deleteWhileDrawing = list;
  InvalidateRect(list, nullptr, 0);
  XEVUiRunPending();
  EXPECT_EQ(Send(list, LB_GETCOUNT), 3);
  XEVUiSetPresenter(nullptr);
  DestroyWindow(list);
}

TEST_F(ListBoxTest, BitmapsAndTextMetrics) {
  for (const char* name : {"FORMULA", "FORMULAL", "RANGE", "RANGEL", "SET", "SETL"}) {
    int32_t width = 0, height = 0, counts[4] = {};
    const uint8_t* pixels = nullptr;
    ASSERT_EQ(XEVUiGetBitmapPixels(name, &width, &height, &pixels), 1) << name;
    for (int32_t i = 0; i < width * height; ++i) ++counts[pixels[i] < 3 ? pixels[i] : 3];
    EXPECT_TRUE(counts[1] > 0 && counts[2] > 0 && counts[3] == 0) << name;
    HBITMAP bitmap = LoadBitmapA(nullptr, name);
    BITMAP size{};
    EXPECT_EQ(GetObjectA(bitmap, sizeof size, &size), static_cast<int32_t>(sizeof size));
    EXPECT_EQ(size.bmWidth * 1000 + size.bmHeight, width * 1000 + height) << name;
    EXPECT_EQ(DeleteObject(bitmap), 1);
  }
  EXPECT_EQ(LoadBitmapA(nullptr, "formulax"), nullptr);
  EXPECT_EQ(LoadBitmapA(nullptr, reinterpret_cast<const char*>(uintptr_t{101})), nullptr);
  TEXTMETRICA metrics{};
  ASSERT_EQ(GetTextMetricsA(nullptr, &metrics), 1);
  EXPECT_EQ(metrics.tmHeight + metrics.tmExternalLeading, 15);
  HDC dc = GetDC(host_);  // draws nowhere, and is given back
  EXPECT_EQ(TextOutA(dc, 0, 0, "x", 1), 1);
  EXPECT_EQ(ReleaseDC(host_, dc), 1);
}

TEST_F(ListBoxTest, ComboBoxSortsSelectsAndDeletes) {
  HWND sorted = Combo(kSortedCombo);
  HWND plain = Combo(0);
  AddAll(sorted, {"Profit", "cost", "Amount", "COST"}, CB_ADDSTRING);
  AddAll(plain, {"Profit", "cost", "Amount", "COST"}, CB_ADDSTRING);
  EXPECT_EQ(Entries(sorted, true), "Amount cost COST Profit");
  EXPECT_EQ(Entries(plain, true), "Profit cost Amount COST");
  EXPECT_EQ(Send(sorted, CB_GETLBTEXTLEN, 3), 6);
  EXPECT_EQ(Send(sorted, CB_GETCURSEL), CB_ERR);
  EXPECT_EQ(Send(sorted, CB_SETCURSEL, 3), 3);
  EXPECT_EQ(Send(sorted, CB_DELETESTRING, 0), 3);
  EXPECT_EQ(Send(sorted, CB_GETCURSEL), 2);
  EXPECT_EQ(Send(sorted, CB_SETCURSEL, 9), CB_ERR);
  EXPECT_EQ(Send(sorted, CB_GETCURSEL), CB_ERR);
  for (UINT m : {CB_DELETESTRING, CB_GETLBTEXTLEN, CB_GETLBTEXT}) EXPECT_EQ(Send(sorted, m, 9), CB_ERR) << m;
  Send(plain, CB_SETCURSEL, 0);
  Send(plain, CB_RESETCONTENT);
  EXPECT_EQ(Send(plain, CB_GETCOUNT) * 10 + Send(plain, CB_GETCURSEL), CB_ERR);
  DestroyWindow(sorted);
  DestroyWindow(plain);
}

