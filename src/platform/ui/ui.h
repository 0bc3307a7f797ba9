// The windowing kit as the library's dialogs see it: the window, message,
// control and dialog services they were written against, with the same names
// and the behaviour they rely on. Headless and deterministic; a presenter
// (xevui.h) shows the windows and feeds input as messages.
//
// Every function refuses a null, destroyed or foreign window handle with its
// failure result (0, FALSE or -1). Texts are ANSI bytes of the host's code
// page, selections byte offsets. One user-interface thread.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "xev/xevui.h"

namespace xev::ui {

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using UINT = uint32_t;
using BOOL = int32_t;
using WNDPROC = LRESULT(XEV_CALL*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = XEVUiDialogProc;
using TIMERPROC = void*;  // never used: timers always post WM_TIMER

struct RECT {
  int32_t left, top, right, bottom;
};

constexpr int32_t LOWORD(uintptr_t v) { return static_cast<int32_t>(v & 0xFFFF); }
constexpr int32_t HIWORD(uintptr_t v) { return static_cast<int32_t>((v >> 16) & 0xFFFF); }
constexpr int32_t GET_X(LPARAM v) { return static_cast<int16_t>(v & 0xFFFF); }
constexpr int32_t GET_Y(LPARAM v) { return static_cast<int16_t>((v >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(int32_t lo, int32_t hi) {
  return static_cast<LPARAM>((static_cast<uint32_t>(lo) & 0xFFFF) | ((static_cast<uint32_t>(hi) & 0xFFFF) << 16));
}
constexpr WPARAM MAKEWPARAM(int32_t lo, int32_t hi) { return static_cast<WPARAM>(MAKELPARAM(lo, hi)); }

// ---- Messages ----------------------------------------------------------------
constexpr UINT WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_MOVE = 0x0003, WM_SIZE = 0x0005,
               WM_SETFOCUS = 0x0007, WM_KILLFOCUS = 0x0008, WM_ENABLE = 0x000A,
               WM_SETTEXT = 0x000C, WM_GETTEXT = 0x000D, WM_GETTEXTLENGTH = 0x000E,
               WM_PAINT = 0x000F, WM_CLOSE = 0x0010, WM_SHOWWINDOW = 0x0018,
               WM_SETCURSOR = 0x0020, WM_DRAWITEM = 0x002B, WM_MEASUREITEM = 0x002C,
               WM_NCDESTROY = 0x0082, WM_GETDLGCODE = 0x0087, WM_KEYDOWN = 0x0100,
               WM_KEYUP = 0x0101, WM_CHAR = 0x0102, WM_INITDIALOG = 0x0110,
               WM_COMMAND = 0x0111, WM_TIMER = 0x0113, WM_MOUSEMOVE = 0x0200,
               WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202, WM_LBUTTONDBLCLK = 0x0203,
               WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205, WM_RBUTTONDBLCLK = 0x0206,
               WM_CUT = 0x0300, WM_COPY = 0x0301, WM_PASTE = 0x0302, WM_CLEAR = 0x0303,
               WM_USER = 0x0400;
// The kit's own: the dialog asks a control for its tab-order successor.
constexpr UINT DM_GETDEFID = WM_USER + 0, DM_SETDEFID = WM_USER + 1;

// Edit control.
constexpr UINT EM_GETSEL = 0x00B0, EM_SETSEL = 0x00B1, EM_GETMODIFY = 0x00B8,
               EM_SETMODIFY = 0x00B9, EM_GETLINECOUNT = 0x00BA, EM_LIMITTEXT = 0x00C5,
               EM_REPLACESEL = 0x00C2, EM_SETREADONLY = 0x00CF, EM_GETLIMITTEXT = 0x00D5,
               EM_CHARFROMPOS = 0x00D7;
constexpr int32_t EN_SETFOCUS = 0x0100, EN_KILLFOCUS = 0x0200, EN_CHANGE = 0x0300,
                  EN_UPDATE = 0x0400, EN_MAXTEXT = 0x0501;

// List box.
constexpr UINT LB_ADDSTRING = 0x0180, LB_INSERTSTRING = 0x0181, LB_DELETESTRING = 0x0182,
               LB_RESETCONTENT = 0x0184, LB_SETCURSEL = 0x0186, LB_GETCURSEL = 0x0188,
               LB_GETTEXT = 0x0189, LB_GETTEXTLEN = 0x018A, LB_GETCOUNT = 0x018B,
               LB_GETTOPINDEX = 0x018E, LB_SETTOPINDEX = 0x0197, LB_GETITEMRECT = 0x0198,
               LB_GETITEMDATA = 0x0199, LB_SETITEMDATA = 0x019A, LB_SETITEMHEIGHT = 0x01A0,
               LB_GETITEMHEIGHT = 0x01A1, LB_FINDSTRINGEXACT = 0x01A2, LB_ITEMFROMPOINT = 0x01A9;
constexpr LRESULT LB_ERR = -1, LB_ERRSPACE = -2;
constexpr int32_t LBN_SELCHANGE = 1, LBN_DBLCLK = 2, LBN_SETFOCUS = 4, LBN_KILLFOCUS = 5;

// Combo box.
constexpr UINT CB_ADDSTRING = 0x0143, CB_DELETESTRING = 0x0144, CB_GETCOUNT = 0x0146,
               CB_GETCURSEL = 0x0147, CB_GETLBTEXT = 0x0148, CB_GETLBTEXTLEN = 0x0149,
               CB_RESETCONTENT = 0x014B, CB_SETCURSEL = 0x014E;
constexpr LRESULT CB_ERR = -1, CB_ERRSPACE = -2;
constexpr int32_t CBN_SELCHANGE = 1;

// Buttons.
constexpr UINT BM_GETCHECK = 0x00F0, BM_SETCHECK = 0x00F1, BM_CLICK = 0x00F5, BM_SETSTYLE = 0x00F4;
constexpr int32_t BST_UNCHECKED = 0, BST_CHECKED = 1;
constexpr int32_t BN_CLICKED = 0;

// WM_GETDLGCODE answers.
constexpr LRESULT DLGC_WANTARROWS = 0x0001, DLGC_WANTTAB = 0x0002, DLGC_WANTALLKEYS = 0x0004,
                  DLGC_HASSETSEL = 0x0008, DLGC_DEFPUSHBUTTON = 0x0010,
                  DLGC_UNDEFPUSHBUTTON = 0x0020, DLGC_RADIOBUTTON = 0x0040,
                  DLGC_WANTCHARS = 0x0080, DLGC_STATIC = 0x0100, DLGC_BUTTON = 0x2000;

// ---- Styles ------------------------------------------------------------------
constexpr uint32_t WS_POPUP = XEV_WS_POPUP, WS_CHILD = XEV_WS_CHILD, WS_VISIBLE = XEV_WS_VISIBLE,
                   WS_DISABLED = XEV_WS_DISABLED, WS_CAPTION = XEV_WS_CAPTION,
                   WS_BORDER = XEV_WS_BORDER, WS_VSCROLL = XEV_WS_VSCROLL,
                   WS_SYSMENU = XEV_WS_SYSMENU, WS_GROUP = XEV_WS_GROUP,
                   WS_TABSTOP = XEV_WS_TABSTOP;
constexpr uint32_t DS_MODALFRAME = 0x80, DS_SETFONT = 0x40;
constexpr uint32_t ES_LEFT = 0, ES_CENTER = XEV_ES_CENTER, ES_MULTILINE = XEV_ES_MULTILINE,
                   ES_AUTOVSCROLL = XEV_ES_AUTOVSCROLL, ES_AUTOHSCROLL = XEV_ES_AUTOHSCROLL,
                   ES_NOHIDESEL = XEV_ES_NOHIDESEL, ES_READONLY = XEV_ES_READONLY,
                   ES_WANTRETURN = XEV_ES_WANTRETURN;
constexpr uint32_t LBS_NOTIFY = XEV_LBS_NOTIFY, LBS_SORT = XEV_LBS_SORT,
                   LBS_OWNERDRAWFIXED = XEV_LBS_OWNERDRAWFIXED, LBS_HASSTRINGS = XEV_LBS_HASSTRINGS;
constexpr uint32_t BS_PUSHBUTTON = XEV_BS_PUSHBUTTON, BS_DEFPUSHBUTTON = XEV_BS_DEFPUSHBUTTON,
                   BS_AUTORADIOBUTTON = XEV_BS_AUTORADIOBUTTON, BS_GROUPBOX = XEV_BS_GROUPBOX,
                   BS_TYPEMASK = XEV_BS_TYPEMASK;
constexpr uint32_t SS_LEFT = 0, SS_CENTER = XEV_SS_CENTER;

// ---- Keys, ids, show commands, window longs, metrics ---------------------------
constexpr int32_t VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10,
                  VK_CONTROL = 0x11, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_END = 0x23,
                  VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
                  VK_DELETE = 0x2E;
constexpr int32_t IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6,
                  IDNO = 7;
constexpr int32_t SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOW = 5;
constexpr int32_t GWL_WNDPROC = -4, GWL_HWNDPARENT = -8, GWL_STYLE = -16, GWL_ID = -12,
                  GWL_USERDATA = -21, DWL_MSGRESULT = 0, DWL_DLGPROC = 4, DWL_USER = 8;
constexpr int32_t SM_CXSCREEN = 0, SM_CYSCREEN = 1;
constexpr uint32_t CF_TEXT = 1;

// ---- Message boxes -------------------------------------------------------------
constexpr uint32_t MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4,
                   MB_TYPEMASK = 0xF, MB_ICONSTOP = 0x10, MB_ICONQUESTION = 0x20,
                   MB_ICONEXCLAMATION = 0x30, MB_ICONINFORMATION = 0x40, MB_ICONMASK = 0xF0,
                   MB_DEFBUTTON1 = 0x000, MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200,
                   MB_DEFMASK = 0xF00, MB_APPLMODAL = 0;

// ---- Windows -------------------------------------------------------------------
// Class names the kit knows: the standard ones and the host's custom classes,
// which are registered names of the standard ones.
HWND CreateWindowExA(uint32_t exStyle, const char* className, const char* text, uint32_t style,
                     int32_t x, int32_t y, int32_t width, int32_t height, HWND parent,
                     intptr_t idOrMenu, void* instance, void* param);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
intptr_t GetWindowLongA(HWND window, int32_t index);
intptr_t SetWindowLongA(HWND window, int32_t index, intptr_t value);
LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The procedure of the window's class, whatever subclass is in place now.
WNDPROC GetClassWindowProc(HWND window);
HWND GetDlgItem(HWND dialog, int32_t id);
int32_t GetDlgCtrlID(HWND window);
HWND GetParent(HWND window);
HWND GetWindow(HWND window, int32_t relation);  // GW_OWNER (4), GW_CHILD (5), GW_HWNDNEXT (2)
constexpr int32_t GW_HWNDNEXT = 2, GW_OWNER = 4, GW_CHILD = 5;
BOOL SetWindowTextA(HWND window, const char* text);
int32_t GetWindowTextA(HWND window, char* buffer, int32_t size);
int32_t GetWindowTextLengthA(HWND window);
BOOL SetDlgItemTextA(HWND dialog, int32_t id, const char* text);
BOOL EnableWindow(HWND window, BOOL enable);  // returns whether it was disabled before
BOOL IsWindowEnabled(HWND window);
BOOL ShowWindow(HWND window, int32_t command);  // returns whether it was visible before
BOOL IsWindowVisible(HWND window);
BOOL GetWindowRect(HWND window, RECT* rect);  // screen coordinates
BOOL GetClientRect(HWND window, RECT* rect);
BOOL MoveWindow(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, BOOL repaint);
HWND SetFocus(HWND window);  // returns the window that had it
HWND GetFocus();
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
int32_t GetSystemMetrics(int32_t index);
BOOL MessageBeep(uint32_t type);
LRESULT SendDlgItemMessageA(HWND dialog, int32_t id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL CheckRadioButton(HWND dialog, int32_t first, int32_t last, int32_t check);

// ---- Messages ------------------------------------------------------------------
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
uintptr_t SetTimer(HWND window, uintptr_t id, uint32_t elapseMs, TIMERPROC proc);
BOOL KillTimer(HWND window, uintptr_t id);
// Shift and Ctrl as the last input left them: the high bit set while down.
int16_t GetKeyState(int32_t virtualKey);

// ---- Dialogs ---------------------------------------------------------------------
// Templates are found by name in the library's compiled-in resources.
intptr_t DialogBoxParamA(void* instance, const char* templateName, HWND owner, DLGPROC proc,
                         LPARAM param);
HWND CreateDialogParamA(void* instance, const char* templateName, HWND owner, DLGPROC proc,
                        LPARAM param);
BOOL EndDialog(HWND dialog, intptr_t result);
LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Keyboard navigation of a dialog (Tab, Return, Escape); TRUE when it took the message.
BOOL IsDialogMessageA(HWND dialog, UINT message, HWND target, WPARAM wParam, LPARAM lParam);
int32_t MessageBoxA(HWND owner, const char* text, const char* caption, uint32_t type);

// ---- Clipboard -------------------------------------------------------------------
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
// Takes a copy of the zero-terminated text in data (our handles are plain text).
BOOL SetClipboardText(const char* text);
// The clipboard's text, or nullptr; valid until the clipboard next changes.
const char* GetClipboardText();
BOOL IsClipboardFormatAvailable(uint32_t format);

// ---- Drawing (what owner-drawn lists need) --------------------------------------
struct DrawContext;
using HDC = DrawContext*;
struct Bitmap;
using HBITMAP = Bitmap*;
struct TEXTMETRICA {
  int32_t tmHeight, tmAscent, tmDescent, tmInternalLeading, tmExternalLeading, tmAveCharWidth;
};
struct BITMAP {
  int32_t bmWidth, bmHeight;
};
struct DRAWITEMSTRUCT {
  UINT CtlType, CtlID, itemID, itemAction, itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  intptr_t itemData;
};
struct MEASUREITEMSTRUCT {
  UINT CtlType, CtlID, itemID, itemWidth, itemHeight;
  intptr_t itemData;
};
constexpr UINT ODT_LISTBOX = 2, ODA_DRAWENTIRE = 1, ODA_SELECT = 2, ODA_FOCUS = 4,
               ODS_SELECTED = 1, ODS_FOCUS = 0x10;

HBITMAP LoadBitmapA(void* instance, const char* name);
BOOL DeleteObject(HBITMAP bitmap);
int32_t GetObjectA(HBITMAP bitmap, int32_t size, BITMAP* out);
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);  // dc may be null: the dialog font
HDC GetDC(HWND window);
int32_t ReleaseDC(HWND window, HDC dc);
BOOL TextOutA(HDC dc, int32_t x, int32_t y, const char* text, int32_t length);
BOOL DrawBitmap(HDC dc, HBITMAP bitmap, int32_t x, int32_t y);  // a blit of the whole bitmap
BOOL InvertRect(HDC dc, const RECT* rect);
BOOL DrawFocusRect(HDC dc, const RECT* rect);

// ---- Host runtime's user-interface hook -------------------------------------------
// Called by the editor after it filled a list; the kit tells the presenter.
void HostListFilled(HWND list);

}  // namespace xev::ui
