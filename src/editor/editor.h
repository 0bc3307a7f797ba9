// What the editor's dialogs offer each other and the loader.
#pragma once

#include "platform/ui/ui.h"
#include "xev/xev.h"

namespace xev::editor {

// The load error dialog: a beep, then the parse error dialog's behaviour on
// the template that says the error came from loading. Returns what the dialog
// ended with, -1 when it could not be created.
intptr_t ShowLoadError(HWND parent, const char* text, const ExprError* error);

// Whether a read-only text control swallows a message: typing, selecting
// with the mouse and every key but Return, which must still reach the
// control so that it presses the dialog's default button.
bool SwallowedByReadOnlyText(ui::UINT message, ui::WPARAM wParam);

// The address of a dialog or window procedure by its exported name, or nullptr.
void* LookupProcedure(const char* name);

}  // namespace xev::editor
