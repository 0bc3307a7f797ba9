// The dialog procedure's own pieces: what the editor shows, how it opens,
// and what its buttons do. Only the editor_*.cpp files include this.
#pragma once

#include "editor/editor_state.h"

namespace xev::editor {

constexpr int32_t kLabelSize = 256;
constexpr uintptr_t kLoadErrorTimer = 1;
constexpr uintptr_t kLiveCheckTimer = 2;
constexpr uint32_t kLoadErrorDelayMs = 1000;

// ---- editor_view.cpp ------------------------------------------------------------------
const char* NewEntryLabel(int32_t mode, char* buffer);  // buffer of kLabelSize
const char* EditorLabel(int32_t mode, char* buffer);
bool HasValueLists();  // the context has a list-values callback
void UpdateCaption(HWND dialog);
void UpdateStatusLine(HWND dialog);
void UpdateDeleteButton(HWND dialog);
void UpdateOkButton(HWND dialog);
int32_t FindEntryByOrdinal(HWND list, int32_t ordinal);
void ShowCurrentExpression(HWND dialog);
void ShowGeneratedName(HWND dialog);
void RefreshFromCurrent(HWND dialog);
void ClearModified(HWND dialog);

// ---- editor_open.cpp --------------------------------------------------------------------
void OpenEditorDialog(HWND dialog, EditorParams* params);
void CloseEditorDialog();

// ---- editor_save.cpp --------------------------------------------------------------------
// Saves the text and name; the HEXP saved, or null (errors already shown).
HEXP Save(HWND dialog);
// Asks before an action when the text or name changed; false stops the action.
bool SavePromptAllows(HWND dialog);

// ---- editor_commands.cpp -----------------------------------------------------------------
void OnCommand(HWND dialog, int32_t id, int32_t code, HWND control);

// ---- editor_help_line.cpp -----------------------------------------------------------------
// Shows on the help line what the selection of the data items or functions
// list (listId) is.
void ShowSelectionHelp(HWND dialog, int32_t listId);

// ---- live_check.cpp ------------------------------------------------------------------------
// After each change of the formula text: the mark goes, and a check follows a pause.
void ScheduleLiveCheck(HWND dialog);
// The pause is over: marks the first error and shows its message on the help line.
void RunLiveCheck(HWND dialog);

// ---- editor_draw.cpp ---------------------------------------------------------------------
void MeasureFormulaEntry(ui::MEASUREITEMSTRUCT* measure);
void DrawFormulaEntry(const ui::DRAWITEMSTRUCT* draw);

}  // namespace xev::editor
