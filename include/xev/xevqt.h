/*
 * xevqt.h - the library's dialogs on a desktop, drawn with Qt 6 Widgets.
 *
 * libxev-qt.so is a presenter for the windowing kit (xevui.h): every window
 * of the formula editor, the error dialogs, the text view, the value list and
 * the message boxes gets a Qt widget that mirrors the kit's state, and the
 * mouse and the keyboard reach the kit as its own input messages. A host
 * makes one call before it opens a dialog; a host without Qt gets a
 * QApplication made for it.
 *
 *   #include "xev/xevqt.h"
 *
 *   int main(int argc, char** argv) {
 *     if (!XevQtInstall(&argc, argv, NULL)) return 1;   // no display
 *     ExprContext* ec = XEVCreateEC(0, NULL, NULL, 0);
 *     FUNDefineFunctions(ec);
 *     HEXP saved = XEVBuildExpression(NULL, ec, NULL, 0); // the editor, on screen
 *     XEVDestroyEC(ec);
 *     XevQtUninstall();
 *     return saved != NULL ? 0 : 2;
 *   }
 *
 * Everything runs on the thread that installed the presenter. While a dialog
 * of the library waits for a person, Qt's event loop runs, so a Qt host's
 * own windows keep painting.
 */
#ifndef XEV_XEVQT_H
#define XEV_XEVQT_H

#include "xev/xevui.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct XevQtOptions {
  /* The Qt platform for a QApplication made by XevQtInstall ("offscreen",
   * "xcb", ...); NULL leaves the choice to Qt and its environment. */
  const char* platform;
  /* When set, the first dialog that waits for a person is saved to this
   * file as PNG and then cancelled, as Escape would: for documentation and
   * for checking what a person would see without one. */
  const char* screenshotPath;
} XevQtOptions;

/* Registers the Qt presenter with the kit. Creates the QApplication when the
 * process has none (argc and argv are handed to it and must outlive it; both
 * may be NULL). 1 when installed (or already installed); 0 when there is no
 * display to show windows on, or the process runs a non-GUI Qt application. */
XEV_API int32_t XEV_CALL XevQtInstall(int* argc, char** argv, const XevQtOptions* options);

/* Unregisters the presenter (the kit goes back to running headless), deletes
 * its widgets and the QApplication XevQtInstall made, if it made one. */
XEV_API void XEV_CALL XevQtUninstall(void);

#ifdef __cplusplus
}
#endif

#endif /* XEV_XEVQT_H */
