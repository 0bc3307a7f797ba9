/*
 * xevui.h - the windowing kit under the library's dialogs, as a host meets it.
 *
 * The formula editor and the error dialogs of xev run on a small window
 * system inside the library: windows with ids, texts, styles and a window
 * procedure, standard controls (edit, list box, combo box, buttons, statics),
 * messages, modal and modeless dialogs, message boxes, timers and a
 * clipboard. The kit owns every window's state and behaviour; what a person
 * sees is drawn by a presenter that the host registers (a desktop front end),
 * or by nobody: the built-in headless presenter measures text with fixed
 * metrics and hands every wait for input to a test hook.
 *
 * This header is the part of the kit a host needs:
 *  - the window handle (XEVHWND, from xev.h) and the messages of the controls
 *    a host fills: a list-values callback adds values to a list box with
 *    XEV_LB_ADDSTRING, XEVLoadComboBox fills a combo box with names;
 *  - a top-level window of the host's that owns the editor;
 *  - the presenter seam, through which a front end mirrors the windows and
 *    feeds the kit input as messages;
 *  - the input driver, with which a test (or a scripted session) clicks,
 *    types, answers message boxes and advances the kit's clock.
 *
 * Conventions: every function takes and returns plain C values; a NULL,
 * destroyed or foreign window handle is refused with the function's failure
 * result (0, or -1 where noted), never a crash. Texts are bytes of the host
 * runtime's ANSI code page (xevhost.h); positions are byte offsets. The kit
 * runs on one thread, the host's user-interface thread.
 */
#ifndef XEV_XEVUI_H
#define XEV_XEVUI_H

#include "xev/xev.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Messages a host sends ----------------------------------------------- */

/* Window messages a host may send with XEVUiSendMessage. */
#define XEV_WM_SETTEXT 0x000C
#define XEV_WM_GETTEXT 0x000D
#define XEV_WM_GETTEXTLENGTH 0x000E
#define XEV_WM_CLOSE 0x0010
#define XEV_WM_COMMAND 0x0111
#define XEV_WM_USER 0x0400

/* List box: lParam is the text (const char*) where one is given. */
#define XEV_LB_ADDSTRING 0x0180     /* -> index of the new entry, or XEV_LB_ERR */
#define XEV_LB_INSERTSTRING 0x0181  /* wParam index (-1 appends) */
#define XEV_LB_DELETESTRING 0x0182  /* wParam index -> entries left */
#define XEV_LB_RESETCONTENT 0x0184
#define XEV_LB_SETCURSEL 0x0186     /* wParam index, -1 clears */
#define XEV_LB_GETCURSEL 0x0188     /* -> index or XEV_LB_ERR */
#define XEV_LB_GETTEXT 0x0189       /* wParam index, lParam buffer -> bytes copied */
#define XEV_LB_GETTEXTLEN 0x018A    /* wParam index -> bytes */
#define XEV_LB_GETCOUNT 0x018B
#define XEV_LB_GETTOPINDEX 0x018E
#define XEV_LB_FINDSTRINGEXACT 0x01A2 /* wParam start (-1 all), lParam text */
#define XEV_LB_SETTOPINDEX 0x0197
#define XEV_LB_GETITEMDATA 0x0199
#define XEV_LB_SETITEMDATA 0x019A
#define XEV_LB_ERR (-1)
#define XEV_LB_ERRSPACE (-2)

/* Combo box. */
#define XEV_CB_GETLBTEXT 0x0148     /* wParam index, lParam buffer -> bytes copied */
#define XEV_CB_GETLBTEXTLEN 0x0149
#define XEV_CB_ADDSTRING 0x0143     /* lParam text -> index, or XEV_CB_ERR */
#define XEV_CB_GETCOUNT 0x0146
#define XEV_CB_GETCURSEL 0x0147
#define XEV_CB_RESETCONTENT 0x014B
#define XEV_CB_SETCURSEL 0x014E
#define XEV_CB_ERR (-1)
#define XEV_CB_ERRSPACE (-2)

/* Edit control. EM_GETSEL answers start in the low and end in the high 16
 * bits; EM_SETSEL takes start in wParam and end in lParam (-1: to the end). */
#define XEV_EM_GETSEL 0x00B0
#define XEV_EM_SETSEL 0x00B1

/* The span an edit's owner marked as wrong, for a front end to underline:
 * SETMARK takes start in wParam and end in lParam (equal: no mark); GETMARK
 * writes them through the pointers in wParam and lParam and answers 1 when
 * there is a mark. */
#define XEV_EM_SETMARK 0x0700
#define XEV_EM_GETMARK 0x0701

/* Button. */
#define XEV_BM_GETCHECK 0x00F0
#define XEV_BM_SETCHECK 0x00F1

/* Sends a message to a window's procedure and returns its answer; 0 for a
 * handle that names no window. */
XEV_API intptr_t XEV_CALL XEVUiSendMessage(XEVHWND window, uint32_t message, uintptr_t wParam,
                                           intptr_t lParam);
/* Puts a message in the kit's queue; 1 when queued, 0 otherwise. */
XEV_API int32_t XEV_CALL XEVUiPostMessage(XEVHWND window, uint32_t message, uintptr_t wParam,
                                          intptr_t lParam);

/* ---- Windows a host owns --------------------------------------------------- */

/* A visible, enabled top-level window to own the editor and the dialogs,
 * size in pixels at (x, y) of the screen; NULL when memory is short. */
XEV_API XEVHWND XEV_CALL XEVUiCreateHostWindow(const char* caption, int32_t x, int32_t y,
                                               int32_t width, int32_t height);
/* Destroys a window and every window it owns or contains; 1 or 0. */
XEV_API int32_t XEV_CALL XEVUiDestroyWindow(XEVHWND window);
/* 1 when the handle names a live window. */
XEV_API int32_t XEV_CALL XEVUiIsWindow(XEVHWND window);

/* ---- Reading a window's state (for front ends and tests) ----------------- */

/* Kinds of windows. */
#define XEV_UI_WINDOW 0    /* a plain top-level window */
#define XEV_UI_DIALOG 1
#define XEV_UI_EDIT 2
#define XEV_UI_LISTBOX 3
#define XEV_UI_COMBOBOX 4
#define XEV_UI_BUTTON 5
#define XEV_UI_STATIC 6

/* Styles the kit honours (the low 16 bits are the control's own). */
#define XEV_WS_POPUP 0x80000000u
#define XEV_WS_CHILD 0x40000000u
#define XEV_WS_VISIBLE 0x10000000u
#define XEV_WS_DISABLED 0x08000000u
#define XEV_WS_CAPTION 0x00C00000u
#define XEV_WS_BORDER 0x00800000u
#define XEV_WS_VSCROLL 0x00200000u
#define XEV_WS_SYSMENU 0x00080000u
#define XEV_WS_GROUP 0x00020000u
#define XEV_WS_TABSTOP 0x00010000u
#define XEV_ES_CENTER 0x0001u
#define XEV_ES_MULTILINE 0x0004u
#define XEV_ES_AUTOVSCROLL 0x0040u
#define XEV_ES_AUTOHSCROLL 0x0080u
#define XEV_ES_NOHIDESEL 0x0100u
#define XEV_ES_READONLY 0x0800u
#define XEV_ES_WANTRETURN 0x1000u
#define XEV_LBS_NOTIFY 0x0001u
#define XEV_LBS_SORT 0x0002u
#define XEV_LBS_OWNERDRAWFIXED 0x0010u
#define XEV_LBS_HASSTRINGS 0x0040u
#define XEV_BS_PUSHBUTTON 0x0u
#define XEV_BS_DEFPUSHBUTTON 0x1u
#define XEV_BS_AUTORADIOBUTTON 0x9u
#define XEV_BS_GROUPBOX 0x7u
#define XEV_BS_TYPEMASK 0xFu
#define XEV_SS_CENTER 0x1u

typedef struct XEVUiRect {
  int32_t left, top, right, bottom;
} XEVUiRect;

typedef struct XEVUiWindowInfo {
  int32_t kind;          /* XEV_UI_* */
  int32_t id;            /* control id; -1 for none */
  uint32_t style;        /* XEV_WS_* and the control's own bits */
  int32_t enabled;       /* 1 or 0 */
  int32_t visible;       /* 1 or 0 */
  XEVUiRect rect;        /* pixels: a child's within its parent's client area, else the screen's */
  XEVHWND parent;        /* the container of a child; NULL for top-level windows */
  XEVHWND owner;         /* the owner of a top-level window, or NULL */
  const char* className; /* the class name it was created with; valid while it lives */
  int32_t focused;       /* 1 when it has the keyboard focus */
} XEVUiWindowInfo;

/* Fills *info; 1, or 0 for a handle that names no window. */
XEV_API int32_t XEV_CALL XEVUiGetWindowInfo(XEVHWND window, XEVUiWindowInfo* info);
/* Copies at most size - 1 bytes of the window's text, zero-terminated;
 * returns the bytes copied. */
XEV_API int32_t XEV_CALL XEVUiGetWindowText(XEVHWND window, char* buffer, int32_t size);
/* The child window with control id, or NULL. */
XEV_API XEVHWND XEV_CALL XEVUiGetDlgItem(XEVHWND dialog, int32_t id);
/* The first child (or next sibling) in creation order, which is also the tab order. */
XEV_API XEVHWND XEV_CALL XEVUiGetFirstChild(XEVHWND window);
XEV_API XEVHWND XEV_CALL XEVUiGetNextSibling(XEVHWND window);
/* A message box of the kit, modal over owner (or over nothing): text, caption
 * and XEV_MB_* bits; returns the XEV_ID* of the button pressed, 0 when the box
 * could not be made. */
#define XEV_MB_YESNO 0x4
#define XEV_MB_ICONQUESTION 0x20
#define XEV_MB_DEFBUTTON2 0x100
#define XEV_IDYES 6
#define XEV_IDNO 7
XEV_API int32_t XEV_CALL XEVUiMessageBox(XEVHWND owner, const char* text, const char* caption, uint32_t type);
/* A resizable window's smallest size in pixels: 1, or 0 (and nothing
 * written) for a window of fixed size. */
XEV_API int32_t XEV_CALL XEVUiGetMinimumSize(XEVHWND window, int32_t* width, int32_t* height);
/* A person moved or resized a top-level window (a front end tells the kit):
 * it takes that place, a resizable dialog at least its smallest size, and its
 * controls follow. Its procedure is told nothing. 1, or 0 for a handle that
 * names no top-level window. */
XEV_API int32_t XEV_CALL XEVUiPlaceWindow(XEVHWND window, int32_t x, int32_t y, int32_t width, int32_t height);
/* The window with the keyboard focus, the innermost running modal dialog,
 * or NULL. */
XEV_API XEVHWND XEV_CALL XEVUiGetFocus(void);
XEV_API XEVHWND XEV_CALL XEVUiGetActiveModal(void);

/* What an owner-drawn list box last drew for its entry index: the entry's
 * text and where, the bitmap drawn and where (its name, or NULL), and whether
 * it was drawn selected (inverted) and with a focus rectangle. 1, or 0 when
 * nothing was drawn for that entry. */
typedef struct XEVUiDrawnItem {
  const char* text;       /* valid until the entry is drawn again */
  int32_t textX, textY;
  const char* bitmapName; /* "FORMULA", "RANGEL", ...; NULL when none */
  int32_t bitmapX, bitmapY, bitmapWidth, bitmapHeight;
  int32_t inverted;
  int32_t focusRect;
  XEVUiRect itemRect;
} XEVUiDrawnItem;
XEV_API int32_t XEV_CALL XEVUiGetDrawnItem(XEVHWND listBox, int32_t index, XEVUiDrawnItem* item);

/* A compiled-in bitmap by name: width and height in pixels and one byte per
 * pixel (0 background, 1 ink, 2 accent), row by row. 1, or 0 when unknown. */
XEV_API int32_t XEV_CALL XEVUiGetBitmapPixels(const char* name, int32_t* width, int32_t* height,
                                              const uint8_t** pixels);

/* ---- The presenter seam ------------------------------------------------------ */

/* What changed, as bits of the second argument of windowChanged. */
#define XEV_UI_CHANGED_TEXT 0x01
#define XEV_UI_CHANGED_STATE 0x02     /* enabled, visible, style */
#define XEV_UI_CHANGED_RECT 0x04
#define XEV_UI_CHANGED_SELECTION 0x08 /* an edit's selection */
#define XEV_UI_CHANGED_ENTRIES 0x10   /* a list's or combo box's entries or selection */
#define XEV_UI_CHANGED_CHECK 0x20
#define XEV_UI_CHANGED_FOCUS 0x40
#define XEV_UI_CHANGED_DRAWING 0x80   /* an owner-drawn entry was drawn again */

/* A presenter shows the kit's windows. Every member may be NULL.
 *  windowCreated/windowChanged/windowDestroyed: told as it happens; the
 *    presenter reads the state back with the functions above.
 *  charFromPoint: the byte offset in an edit's text nearest to client point
 *    (x, y), never inside a double-byte character; -1 lets the kit measure
 *    with its fixed metrics.
 *  waitForInput: called when a modal loop has nothing to do; the presenter
 *    feeds input (XEVUiPostMessage or the driver below) and returns 1, or
 *    returns 0 when no input will ever come, which cancels the innermost
 *    modal dialog. timeoutMs is the time to the next timer, -1 for none.
 *  tickCount: milliseconds of the presenter's clock for timers; NULL keeps
 *    the kit's virtual clock, which only XEVUiAdvanceClock moves. */
typedef struct XEVUiPresenter {
  void* context;
  void(XEV_CALL* windowCreated)(void* context, XEVHWND window);
  void(XEV_CALL* windowChanged)(void* context, XEVHWND window, uint32_t what);
  void(XEV_CALL* windowDestroyed)(void* context, XEVHWND window);
  int32_t(XEV_CALL* charFromPoint)(void* context, XEVHWND edit, int32_t x, int32_t y);
  int32_t(XEV_CALL* waitForInput)(void* context, XEVHWND modal, int32_t timeoutMs);
  uint32_t(XEV_CALL* tickCount)(void* context);
} XEVUiPresenter;

/* Registers the presenter (copied); NULL goes back to the headless one. */
XEV_API void XEV_CALL XEVUiSetPresenter(const XEVUiPresenter* presenter);

/* The fixed metrics of the headless presenter, in pixels: average character
 * width and line height of the dialog font (dialog units convert with them:
 * x * width / 4, y * height / 8), and the screen size. */
#define XEV_UI_CHAR_WIDTH 6
#define XEV_UI_LINE_HEIGHT 13
#define XEV_UI_SCREEN_WIDTH 1024
#define XEV_UI_SCREEN_HEIGHT 768

/* ---- The input driver --------------------------------------------------------- */

/* The headless presenter calls the hook whenever a modal loop waits for input,
 * with the innermost modal dialog; the hook acts through the functions below
 * and returns 1, or 0 to say no input will come (the dialog is cancelled).
 * NULL removes the hook: a modal dialog then ends at once as cancelled. */
typedef int32_t(XEV_CALL* XEVUiInputHook)(void* context, XEVHWND modal);
XEV_API void XEV_CALL XEVUiSetInputHook(XEVUiInputHook hook, void* context);

/* Virtual keys. */
#define XEV_VK_BACK 0x08
#define XEV_VK_TAB 0x09
#define XEV_VK_RETURN 0x0D
#define XEV_VK_SHIFT 0x10
#define XEV_VK_CONTROL 0x11
#define XEV_VK_ESCAPE 0x1B
#define XEV_VK_SPACE 0x20
#define XEV_VK_END 0x23
#define XEV_VK_HOME 0x24
#define XEV_VK_LEFT 0x25
#define XEV_VK_UP 0x26
#define XEV_VK_RIGHT 0x27
#define XEV_VK_DOWN 0x28
#define XEV_VK_DELETE 0x2E

/* Each queues the messages a person's action produces, to the window under
 * the action or to the focus; they are handled when the loop next runs (or
 * at once with XEVUiRunPending). 1, or 0 for a window that cannot take input
 * (no window, hidden or disabled). */
XEV_API int32_t XEV_CALL XEVUiClick(XEVHWND window);               /* left click in the middle */
XEV_API int32_t XEV_CALL XEVUiClickAt(XEVHWND window, int32_t x, int32_t y, int32_t clicks);
                                                                    /* clicks: 1 single, 2 double */
XEV_API int32_t XEV_CALL XEVUiRightDoubleClickAt(XEVHWND window, int32_t x, int32_t y);
/* Press at (x0, y0), move with the button down to (x1, y1), release there. */
XEV_API int32_t XEV_CALL XEVUiDrag(XEVHWND window, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
XEV_API int32_t XEV_CALL XEVUiClickListEntry(XEVHWND listBox, int32_t index, int32_t clicks);
/* A key pressed and released on the focus window, with Shift and Ctrl held as
 * given; Return, Escape, Tab and Backspace also give their characters. */
XEV_API int32_t XEV_CALL XEVUiKey(int32_t virtualKey, int32_t shift, int32_t control);
/* Characters typed into the focus window, byte by byte (a double-byte
 * character arrives as its two bytes). */
XEV_API int32_t XEV_CALL XEVUiType(const char* text);
/* Moves the kit's virtual clock on by ms milliseconds; timers that fall due
 * are queued. */
XEV_API void XEV_CALL XEVUiAdvanceClock(uint32_t ms);
/* Handles every queued message (outside a modal loop); returns how many. */
XEV_API int32_t XEV_CALL XEVUiRunPending(void);
/* The last message box's text and caption (empty when none was shown). */
XEV_API const char* XEV_CALL XEVUiLastMessageBoxText(void);
XEV_API const char* XEV_CALL XEVUiLastMessageBoxCaption(void);
/* The kit's clipboard text (NULL when empty), and replacing it (NULL empties
 * it): a front end keeps it in step with the desktop's clipboard. */
XEV_API const char* XEV_CALL XEVUiGetClipboardText(void);
XEV_API int32_t XEV_CALL XEVUiSetClipboardText(const char* text);
/* Times MessageBeep was called since start-up. */
XEV_API int32_t XEV_CALL XEVUiBeepCount(void);

/* ---- The library's dialog and window procedures ----------------------------- */

/* The host's help query: sent to a dialog of the library with wParam the
 * control that has the focus and lParam a callback, which the dialog calls
 * with (kind, value): (257, topic name) or (1, context number). */
#define XEV_WM_HELPQUERY 0x83FF
typedef void(XEV_CALL* XEVHelpCallback)(int32_t kind, intptr_t value);

typedef intptr_t(XEV_CALL* XEVUiDialogProc)(XEVHWND dialog, uint32_t message, uintptr_t wParam,
                                            intptr_t lParam);

/* The dialog procedure of the error dialogs and the procedure that makes
 * their formula text read-only; GetProcAddress finds both, and the editor's
 * procedures, in the library's export table. */
XEV_API intptr_t XEV_CALL XEVErrorDlgProc(XEVHWND dialog, uint32_t message, uintptr_t wParam,
                                          intptr_t lParam);
XEV_API intptr_t XEV_CALL XEVErrorEditProc(XEVHWND edit, uint32_t message, uintptr_t wParam,
                                           intptr_t lParam);

/* The formula editor's dialog and control procedures, and those of its text
 * view and value list. */
XEV_API intptr_t XEV_CALL XevDlgProc(XEVHWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
XEV_API intptr_t XEV_CALL EditSubProc(XEVHWND edit, uint32_t message, uintptr_t wParam, intptr_t lParam);
XEV_API intptr_t XEV_CALL StatusSubProc(XEVHWND edit, uint32_t message, uintptr_t wParam, intptr_t lParam);
XEV_API intptr_t XEV_CALL LBFormsSubProc(XEVHWND list, uint32_t message, uintptr_t wParam, intptr_t lParam);
XEV_API intptr_t XEV_CALL LBVarsSubProc(XEVHWND list, uint32_t message, uintptr_t wParam, intptr_t lParam);
XEV_API intptr_t XEV_CALL LBFuncsSubProc(XEVHWND list, uint32_t message, uintptr_t wParam, intptr_t lParam);
XEV_API intptr_t XEV_CALL XevViewTextDlgProc(XEVHWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
XEV_API intptr_t XEV_CALL ViewEditSubProc(XEVHWND edit, uint32_t message, uintptr_t wParam, intptr_t lParam);
XEV_API intptr_t XEV_CALL XevListValuesDlgProc(XEVHWND dialog, uint32_t message, uintptr_t wParam,
                                               intptr_t lParam);

#ifdef __cplusplus
}
#endif

#endif /* XEV_XEVUI_H */
