// What a person would see in a screenshot of a dialog, checked by the tests:
// something is drawn, every control lies inside its dialog, a selection
// shows in the highlight colour.
#pragma once

#include <QImage>
#include <QRect>
#include <string>

#include "xev/xevui.h"

namespace qttest {

// More than a flat fill: several colours, none covering almost everything.
bool LooksDrawn(const QImage& image);
// Pixels within area close to colour.
int CountNear(const QImage& image, QRgb colour, QRect area);
// The visible children of a kit dialog whose rectangles leave its client area.
std::string ControlsOutside(XEVHWND dialog);
// Keeps a screenshot for the documentation when XEV_SCREENSHOT_DIR is set.
void KeepForDocs(const QImage& image, const char* name);

}  // namespace qttest
