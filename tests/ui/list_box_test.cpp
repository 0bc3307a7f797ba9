// List boxes and combo boxes as the editor and the value list use them:
// sorted insertion, item data that follows its entry, exact search, selection
// by mouse and keys with the notifications, owner drawing read back through
// the recording device context, and memory running out mid-insertion.
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

// The parent: records the notifications it gets and draws entries the way
// the editor does (bitmap, text after it, inverted when selected, a focus
// rectangle when focused).
struct Parent {
  WNDPROC underlying = nullptr;
  std::vector<std::pair<int32_t, int32_t>> commands;  // (id, code)
  UINT measuredHeight = 15;
  HBITMAP bitmap = nullptr;
  int32_t draws = 0;
  HWND deleteWhileDrawing = nullptr;  // a list whose last entry goes during a draw
};
Parent g_parent;

LRESULT XEV_CALL ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) {
    g_parent.commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
    return 0;
  }
  if (message == WM_MEASUREITEM) {
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (measure->CtlType == ODT_LISTBOX && measure->CtlID == static_cast<UINT>(kListId))
      measure->itemHeight = g_parent.measuredHeight;
    return 1;
  }
  if (message == WM_DRAWITEM) {
    auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    ++g_parent.draws;
    if (g_parent.deleteWhileDrawing == draw->hwndItem) {
      g_parent.deleteWhileDrawing = nullptr;
      LRESULT count = SendMessageA(draw->hwndItem, LB_GETCOUNT, 0, 0);
      SendMessageA(draw->hwndItem, LB_DELETESTRING, static_cast<WPARAM>(count - 1), 0);
    }
    char text[64] = {};
    SendMessageA(draw->hwndItem, LB_GETTEXT, draw->itemID, reinterpret_cast<LPARAM>(text));
    int32_t x = draw->rcItem.left;
    if (g_parent.bitmap != nullptr) {
      DrawBitmap(draw->hDC, g_parent.bitmap, x, draw->rcItem.top + 1);
      x += 16;
    }
    TextOutA(draw->hDC, x, draw->rcItem.top + 1, text, static_cast<int32_t>(std::string(text).size()));
    if (draw->itemState & ODS_SELECTED) InvertRect(draw->hDC, &draw->rcItem);
    if (draw->itemState & ODS_FOCUS) DrawFocusRect(draw->hDC, &draw->rcItem);
    return 1;
  }
  return CallWindowProcA(g_parent.underlying, window, message, wParam, lParam);
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
    if (g_parent.bitmap != nullptr) DeleteObject(g_parent.bitmap);
    DestroyWindow(host_);
    KitTest::TearDown();
  }

  // A visible list 100 pixels wide and height pixels tall at (10, 10).
  HWND List(uint32_t style, int32_t height = 65, const char* className = "ListBox") {
    return CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | style, 10, 10, 100, height, host_, kListId,
                           nullptr, nullptr);
  }
  HWND Combo(uint32_t style) {
    return CreateWindowExA(0, "ComboBox", "", WS_CHILD | WS_VISIBLE | style, 10, 100, 100, 20, host_, 7, nullptr,
                           nullptr);
  }

  HWND host_ = nullptr;
};

LRESULT Add(HWND list, const char* text) { return SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)); }

LRESULT Insert(HWND list, int32_t index, const char* text) {
  return SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
}

std::string TextAt(HWND list, int32_t index) {
  char buffer[64] = {};
  if (SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)) == LB_ERR)
    return "<err>";
  return buffer;
}

// Every entry as "text" or "text=data", joined with blanks.
std::string Entries(HWND list, bool withData = false) {
  std::string all;
  LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0) all += ' ';
    all += TextAt(list, i);
    if (withData) all += "=" + std::to_string(SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0));
  }
  return all;
}

LRESULT Selection(HWND list) { return SendMessageA(list, LB_GETCURSEL, 0, 0); }

std::pair<int32_t, int32_t> Note(int32_t code) { return {kListId, code}; }

LRESULT Find(HWND list, int32_t start, const char* text) {
  return SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text));
}

}  // namespace

TEST_F(ListBoxTest, SortedListKeepsEqualTextsInArrivalOrderAndDataFollowsEntries) {
  HWND list = List(LBS_SORT);
  ASSERT_NE(list, nullptr);
  const std::pair<const char*, LRESULT> adds[] = {
      {"beta", 0}, {"Alpha", 0}, {"alpha", 1}, {"Gamma", 3}, {"BETA", 3}, {"a", 0}, {"", 0},
  };
  for (auto [text, index] : adds) {
    EXPECT_EQ(Add(list, text), index) << text;
    SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(std::string(text).size() + 100));
  }
  EXPECT_EQ(Entries(list, true), "=100 a=101 Alpha=105 alpha=105 beta=104 BETA=104 Gamma=105");

  // Inserting never sorts, even in a sorted list; -1 appends.
  EXPECT_EQ(Insert(list, 0, "zz"), 0);
  EXPECT_EQ(Insert(list, -1, "b"), 8);
  EXPECT_EQ(Insert(list, 10, "late"), LB_ERR);
  EXPECT_EQ(SendMessageA(list, LB_DELETESTRING, 3, 0), 8);  // "Alpha"
  EXPECT_EQ(Entries(list, true), "zz=0 =100 a=101 alpha=105 beta=104 BETA=104 Gamma=105 b=0");
  EXPECT_EQ(SendMessageA(list, LB_GETTEXTLEN, 6, 0), 5);

  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(Add(list, "only"), 0);
  DestroyWindow(list);
}

TEST_F(ListBoxTest, UnsortedListAppendsAndSelectionStaysOnItsEntry) {
  HWND list = List(0);
  for (const char* text : {"c", "a", "b"}) Add(list, text);
  EXPECT_EQ(Entries(list), "c a b");

  EXPECT_EQ(SendMessageA(list, LB_SETCURSEL, 1, 0), 1);
  Insert(list, 0, "first");
  EXPECT_EQ(Selection(list), 2);  // still "a"
  Insert(list, 3, "after");
  EXPECT_EQ(Selection(list), 2);
  SendMessageA(list, LB_DELETESTRING, 0, 0);
  EXPECT_EQ(Selection(list), 1);
  SendMessageA(list, LB_DELETESTRING, 1, 0);  // the selected one
  EXPECT_EQ(Selection(list), LB_ERR);
  EXPECT_EQ(Entries(list), "c after b");
  // Selecting in code tells nobody.
  SendMessageA(list, LB_SETCURSEL, 2, 0);
  EXPECT_TRUE(g_parent.commands.empty());
  DestroyWindow(list);
}

TEST_F(ListBoxTest, FindStringExactIgnoresCaseStartsAfterTheGivenEntryAndWraps) {
  HWND list = List(0);
  for (const char* text : {"Sales", "cost", "SALES", "salesman", "sales"}) Add(list, text);
  EXPECT_EQ(Find(list, -1, "sales"), 0);
  EXPECT_EQ(Find(list, 0, "sales"), 2);
  EXPECT_EQ(Find(list, 2, "sales"), 4);
  EXPECT_EQ(Find(list, 4, "sales"), 0);   // wraps round
  EXPECT_EQ(Find(list, 1, "COST"), 1);    // found again at the start entry itself
  EXPECT_EQ(Find(list, 99, "cost"), 1);   // a start past the end searches everything
  EXPECT_EQ(Find(list, -1, "sale"), LB_ERR);  // a prefix is not a match
  EXPECT_EQ(Find(list, -1, nullptr), LB_ERR);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(Find(list, -1, "sales"), LB_ERR);
  DestroyWindow(list);
}

TEST_F(ListBoxTest, BadIndexesAnswerErrorsAndChangeNothing) {
  HWND list = List(0);
  Add(list, "one");
  Add(list, "two");
  SendMessageA(list, LB_SETCURSEL, 1, 0);
  char buffer[16] = "keep";
  RECT rect{1, 2, 3, 4};
  for (int32_t bad : {-1, 2, 1000}) {
    auto w = static_cast<WPARAM>(bad);
    EXPECT_EQ(SendMessageA(list, LB_GETTEXT, w, reinterpret_cast<LPARAM>(buffer)), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_GETTEXTLEN, w, 0), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_DELETESTRING, w, 0), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_SETITEMDATA, w, 5), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, w, 0), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_SETTOPINDEX, w, 0), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_GETITEMRECT, w, reinterpret_cast<LPARAM>(&rect)), LB_ERR);
  }
  EXPECT_EQ(Insert(list, -2, "x"), LB_ERR);
  EXPECT_EQ(SendMessageA(list, LB_GETTEXT, 0, 0), LB_ERR);  // no buffer
  EXPECT_EQ(SendMessageA(list, LB_GETITEMRECT, 0, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(list, LB_SETITEMHEIGHT, 0, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(list, LB_SETITEMHEIGHT, 0, 256), LB_ERR);
  EXPECT_STREQ(buffer, "keep");
  EXPECT_EQ(rect.left, 1);
  EXPECT_EQ(Entries(list), "one two");
  EXPECT_EQ(Selection(list), 1);
  // An index out of range clears the selection, and says so.
  EXPECT_EQ(SendMessageA(list, LB_SETCURSEL, 7, 0), LB_ERR);
  EXPECT_EQ(Selection(list), LB_ERR);
  DestroyWindow(list);
}

TEST_F(ListBoxTest, GeometryFollowsTopIndexAndItemHeight) {
  HWND list = List(0, 40);  // three rows of 13 pixels
  for (const char* text : {"a", "b", "c", "d", "e", "f"}) Add(list, text);
  EXPECT_EQ(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0), kit::kLineHeight);
  EXPECT_EQ(SendMessageA(list, LB_SETTOPINDEX, 2, 0), 0);
  EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 2);
  RECT r{};
  SendMessageA(list, LB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.right, r.bottom}), (std::vector<int32_t>{0, 13, 100, 26}));
  EXPECT_EQ(SendMessageA(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(5, 30)), MAKELPARAM(4, 0));
  EXPECT_EQ(HIWORD(static_cast<uintptr_t>(SendMessageA(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(500, 5)))), 1);
  // The list never scrolls past its last page, and selecting scrolls into view.
  SendMessageA(list, LB_SETTOPINDEX, 5, 0);
  EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 3);
  SendMessageA(list, LB_SETCURSEL, 0, 0);
  EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 0);
  EXPECT_EQ(SendMessageA(list, LB_SETITEMHEIGHT, 0, 20), 0);
  EXPECT_EQ(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0), 20);
  DestroyWindow(list);
}

TEST_F(ListBoxTest, ClicksSelectFocusAndNotifyOnlyWithNotifyStyle) {
  HWND list = List(LBS_NOTIFY);
  for (const char* text : {"a", "b", "c"}) Add(list, text);
  ASSERT_EQ(XEVUiClickListEntry(list, 2, 1), 1);
  XEVUiRunPending();
  EXPECT_EQ(Selection(list), 2);
  EXPECT_EQ(GetFocus(), list);
  EXPECT_EQ(g_parent.commands, (std::vector<std::pair<int32_t, int32_t>>{Note(LBN_SETFOCUS), Note(LBN_SELCHANGE)}));

  // The same entry again changes nothing; below the last entry selects nothing.
  g_parent.commands.clear();
  XEVUiClickListEntry(list, 2, 1);
  XEVUiClickAt(list, 5, 60, 1);
  XEVUiRunPending();
  EXPECT_TRUE(g_parent.commands.empty());
  EXPECT_EQ(Selection(list), 2);

  XEVUiClickListEntry(list, 0, 2);
  XEVUiRunPending();
  EXPECT_EQ(Selection(list), 0);
  EXPECT_EQ(g_parent.commands, (std::vector<std::pair<int32_t, int32_t>>{Note(LBN_SELCHANGE), Note(LBN_DBLCLK)}));

  HWND quiet = CreateWindowExA(0, "ListBox", "", WS_CHILD | WS_VISIBLE, 200, 10, 100, 65, host_, 9, nullptr, nullptr);
  Add(quiet, "x");
  g_parent.commands.clear();
  XEVUiClickListEntry(quiet, 0, 2);
  XEVUiRunPending();
  EXPECT_EQ(Selection(quiet), 0);
  EXPECT_EQ(g_parent.commands, (std::vector<std::pair<int32_t, int32_t>>{Note(LBN_KILLFOCUS)}));
  DestroyWindow(quiet);
  DestroyWindow(list);
}

TEST_F(ListBoxTest, ArrowKeysMoveTheSelectionAndScroll) {
  HWND list = List(LBS_NOTIFY, 27);  // two rows
  for (const char* text : {"a", "b", "c", "d"}) Add(list, text);
  EXPECT_EQ(SendMessageA(list, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS | DLGC_WANTCHARS);
  SetFocus(list);
  g_parent.commands.clear();
  const std::pair<int32_t, LRESULT> steps[] = {
      {VK_DOWN, 0}, {VK_DOWN, 1}, {VK_END, 3}, {VK_DOWN, 3}, {VK_UP, 2}, {VK_HOME, 0}, {VK_UP, 0}, {VK_LEFT, 0},
  };
  int32_t changes = 0;
  LRESULT before = LB_ERR;
  for (auto [key, expected] : steps) {
    XEVUiKey(key, 0, 0);
    XEVUiRunPending();
    EXPECT_EQ(Selection(list), expected) << key;
    changes += expected != before ? 1 : 0;
    before = expected;
    if (key == VK_END) {
      EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 2);
    }
  }
  using Notes = std::vector<std::pair<int32_t, int32_t>>;
  EXPECT_EQ(g_parent.commands, Notes(static_cast<size_t>(changes), Note(LBN_SELCHANGE)));
  EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 0);
  DestroyWindow(list);
}

namespace {

uint32_t g_drawingChanges = 0;
void XEV_CALL CountDrawing(void*, XEVHWND, uint32_t what) {
  if (what & XEV_UI_CHANGED_DRAWING) ++g_drawingChanges;
}

}  // namespace

TEST_F(ListBoxTest, OwnerDrawnListMeasuresOnceAndRecordsWhatTheOwnerDrew) {
  XEVUiPresenter presenter{};
  presenter.windowChanged = CountDrawing;
  XEVUiSetPresenter(&presenter);
  g_drawingChanges = 0;
  g_parent.bitmap = LoadBitmapA(nullptr, "formulal");
  ASSERT_NE(g_parent.bitmap, nullptr);
  HWND list = List(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, 45);  // three rows of 15
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0), 15);
  for (const char* text : {"[ New Formula ]", "Total", "Margin", "Tax"}) Insert(list, -1, text);
  SendMessageA(list, LB_SETITEMDATA, 1, 42);
  SendMessageA(list, LB_SETCURSEL, 1, 0);
  SetFocus(list);
  XEVUiRunPending();

  XEVUiDrawnItem item{};
  ASSERT_EQ(XEVUiGetDrawnItem(list, 1, &item), 1);
  EXPECT_STREQ(item.text, "Total");
  EXPECT_EQ(item.textX, 16);
  EXPECT_EQ(item.textY, 16);
  EXPECT_STREQ(item.bitmapName, "FORMULAL");
  EXPECT_EQ(item.bitmapWidth, 16);
  EXPECT_EQ(item.bitmapHeight, 12);
  EXPECT_EQ(item.inverted, 1);
  EXPECT_EQ(item.focusRect, 1);
  EXPECT_EQ((std::vector<int32_t>{item.itemRect.left, item.itemRect.top, item.itemRect.right, item.itemRect.bottom}),
            (std::vector<int32_t>{0, 15, 100, 30}));
  ASSERT_EQ(XEVUiGetDrawnItem(list, 0, &item), 1);
  EXPECT_EQ(item.inverted, 0);
  EXPECT_EQ(item.focusRect, 0);
  EXPECT_EQ(XEVUiGetDrawnItem(list, 3, &item), 0);  // below the visible rows
  EXPECT_GE(g_drawingChanges, 1u);

  // A new selection is drawn at the next paint; losing the focus takes the rectangle away.
  SendMessageA(list, LB_SETCURSEL, 2, 0);
  SetFocus(nullptr);
  XEVUiRunPending();
  XEVUiGetDrawnItem(list, 1, &item);
  EXPECT_EQ(item.inverted, 0);
  XEVUiGetDrawnItem(list, 2, &item);
  EXPECT_EQ(item.inverted, 1);
  EXPECT_EQ(item.focusRect, 0);

  // An owner that changes the list while drawing leaves nothing dangling.
  g_parent.deleteWhileDrawing = list;
  InvalidateRect(list, nullptr, 0);
  XEVUiRunPending();
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(XEVUiGetDrawnItem(list, 3, &item), 0);
  XEVUiSetPresenter(nullptr);
  DestroyWindow(list);
}

TEST_F(ListBoxTest, BitmapsAndTextMetrics) {
  const char* names[] = {"FORMULA", "FORMULAL", "RANGE", "RANGEL", "SET", "SETL"};
  for (const char* name : names) {
    int32_t width = 0, height = 0;
    const uint8_t* pixels = nullptr;
    ASSERT_EQ(XEVUiGetBitmapPixels(name, &width, &height, &pixels), 1) << name;
    int32_t ink = 0, accent = 0, other = 0;
    for (int32_t i = 0; i < width * height; ++i) {
      ink += pixels[i] == 1;
      accent += pixels[i] == 2;
      other += pixels[i] > 2;
    }
    EXPECT_GT(ink, 0) << name;
    EXPECT_GT(accent, 0) << name;
    EXPECT_EQ(other, 0) << name;
    HBITMAP bitmap = LoadBitmapA(nullptr, name);
    BITMAP size{};
    EXPECT_EQ(GetObjectA(bitmap, sizeof size, &size), static_cast<int32_t>(sizeof size));
    EXPECT_EQ(size.bmWidth, width);
    EXPECT_EQ(size.bmHeight, height);
    EXPECT_EQ(DeleteObject(bitmap), 1);
  }
  EXPECT_EQ(LoadBitmapA(nullptr, "formulax"), nullptr);
  EXPECT_EQ(LoadBitmapA(nullptr, reinterpret_cast<const char*>(uintptr_t{101})), nullptr);
  EXPECT_EQ(XEVUiGetBitmapPixels(nullptr, nullptr, nullptr, nullptr), 0);

  TEXTMETRICA metrics{};
  ASSERT_EQ(GetTextMetricsA(nullptr, &metrics), 1);
  EXPECT_EQ(metrics.tmHeight + metrics.tmExternalLeading, 15);
  EXPECT_EQ(metrics.tmAveCharWidth, XEV_UI_CHAR_WIDTH);
  // A context from GetDC draws nowhere and is given back.
  HDC dc = GetDC(host_);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(TextOutA(dc, 0, 0, "x", 1), 1);
  EXPECT_EQ(ReleaseDC(host_, dc), 1);
}

TEST_F(ListBoxTest, ComboBoxSortsSelectsAndDeletes) {
  HWND sorted = Combo(kSortedCombo);
  HWND plain = Combo(0);
  for (const char* text : {"Profit", "cost", "Amount", "COST"}) {
    SendMessageA(sorted, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendMessageA(plain, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  auto all = [](HWND combo) {
    std::string joined;
    LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (int32_t i = 0; i < count; ++i) {
      char buffer[32] = {};
      EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer)),
                SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0));
      joined += (i > 0 ? " " : "") + std::string(buffer);
    }
    return joined;
  };
  EXPECT_EQ(all(sorted), "Amount cost COST Profit");
  EXPECT_EQ(all(plain), "Profit cost Amount COST");

  EXPECT_EQ(SendMessageA(sorted, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(SendMessageA(sorted, CB_SETCURSEL, 3, 0), 3);
  EXPECT_EQ(SendMessageA(sorted, CB_DELETESTRING, 0, 0), 3);
  EXPECT_EQ(SendMessageA(sorted, CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessageA(sorted, CB_SETCURSEL, 9, 0), CB_ERR);
  EXPECT_EQ(SendMessageA(sorted, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(SendMessageA(sorted, CB_DELETESTRING, 9, 0), CB_ERR);
  EXPECT_EQ(SendMessageA(sorted, CB_GETLBTEXTLEN, 9, 0), CB_ERR);
  SendMessageA(plain, CB_SETCURSEL, 0, 0);
  SendMessageA(plain, CB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessageA(plain, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessageA(plain, CB_GETCURSEL, 0, 0), CB_ERR);
  DestroyWindow(sorted);
  DestroyWindow(plain);
}

// Each allocation of an operation fails in turn, on a fresh list every time
// so that no earlier run has left room behind: the operation reports the
// shortage, the list is as it was, and nothing is left allocated.
TEST_F(ListBoxTest, AllocationFailuresLeaveListsUnchanged) {
  struct Case {
    const char* name;
    bool combo;
    UINT add, count, select, getSelection;
    LRESULT errSpace;
  };
  const Case cases[] = {
      {"list", false, LB_ADDSTRING, LB_GETCOUNT, LB_SETCURSEL, LB_GETCURSEL, LB_ERRSPACE},
      {"combo", true, CB_ADDSTRING, CB_GETCOUNT, CB_SETCURSEL, CB_GETCURSEL, CB_ERRSPACE},
  };
  for (const Case& c : cases) {
    int32_t failures = 0;
    for (int64_t k = 1;; ++k) {
      HWND box = c.combo ? Combo(kSortedCombo) : List(LBS_SORT);
      // Eight entries fill the first array, so the next one needs it to grow.
      for (const char* text : {"b", "d", "f", "h", "j", "l", "n", "p"})
        SendMessageA(box, c.add, 0, reinterpret_cast<LPARAM>(text));
      SendMessageA(box, c.select, 2, 0);
      int64_t live = HostLiveBlockCount();
      HostFailAllocationAfter(k);
      LRESULT added = SendMessageA(box, c.add, 0, reinterpret_cast<LPARAM>("e"));
      HostFailAllocationAfter(0);
      bool done = added == 2;
      if (!done) {
        ++failures;
        EXPECT_EQ(added, c.errSpace) << c.name << " " << k;
        EXPECT_EQ(SendMessageA(box, c.count, 0, 0), 8) << c.name << " " << k;
        EXPECT_EQ(SendMessageA(box, c.getSelection, 0, 0), 2) << c.name << " " << k;
        EXPECT_EQ(HostLiveBlockCount(), live) << c.name << " " << k;
      } else {
        EXPECT_EQ(SendMessageA(box, c.getSelection, 0, 0), 3) << c.name;
      }
      DestroyWindow(box);
      if (done || k > 10) break;
    }
    EXPECT_EQ(failures, 2) << c.name;  // the text's copy and the grown array
  }

  HostFailAllocationAfter(1);
  EXPECT_EQ(LoadBitmapA(nullptr, "SETL"), nullptr);
  HostFailAllocationAfter(0);

  // A list that cannot get its state is never made.
  for (int64_t k = 1;; ++k) {
    HostFailAllocationAfter(k);
    HWND made = List(LBS_OWNERDRAWFIXED);
    HostFailAllocationAfter(0);
    if (made != nullptr) {
      DestroyWindow(made);
      break;
    }
    EXPECT_EQ(kit::LiveWindowCount(), 1) << k;
  }
}
