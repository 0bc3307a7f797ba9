// The widget of each kind of kit window, and bringing it in line with the
// kit's state. The widgets only show; they never act on input themselves.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "code_page_text.h"
#include "xev/xevui.h"

namespace xevqt {

// What the presenter keeps for one kit window.
struct Mirrored {
  QPointer<QWidget> widget;
  XEVUiWindowInfo info{};
  std::string text;     // the kit's text as last mirrored (code-page bytes)
  DisplayText display;  // an edit's text as shown, with its byte offsets
};

// The name of the widget property that holds the kit window a widget shows.
inline constexpr const char* kWindowProperty = "xevWindow";

// A widget for a new kit window of info's kind, under parent (a control's
// dialog, or the owner's window for a top-level one). Hidden until mirrored.
// scrolled is called after a person scrolled a list, which the kit must draw
// again before the entries now in view can show what it drew.
QWidget* MakeWidget(XEVHWND window, const XEVUiWindowInfo& info, QWidget* parent,
                    const std::function<void()>& scrolled);

// Reads back what changed (XEV_UI_CHANGED_* bits) and shows it.
void MirrorChanges(XEVHWND window, Mirrored& m, uint32_t what, const CodePageText& text);

// A kit text read back whole (a window's, or a list entry's).
std::string KitWindowText(XEVHWND window);
std::string KitEntryText(XEVHWND list, int32_t index, bool comboBox);

}  // namespace xevqt
