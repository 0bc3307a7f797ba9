// The dialog and window procedures of the library by their exported names,
// for GetProcAddress on the library's own module.
#include <cstring>
#include <iterator>

#include "editor/editor.h"
#include "xev/xevui.h"

namespace xev::editor {
namespace {

struct ProcedureExport {
  const char* name;
  XEVUiDialogProc procedure;
};

constexpr ProcedureExport kProcedures[] = {
    {"EditSubProc", EditSubProc},       {"LBFormsSubProc", LBFormsSubProc},
    {"LBFuncsSubProc", LBFuncsSubProc}, {"LBVarsSubProc", LBVarsSubProc},
    {"StatusSubProc", StatusSubProc},   {"ViewEditSubProc", ViewEditSubProc},
    {"XEVErrorDlgProc", XEVErrorDlgProc}, {"XEVErrorEditProc", XEVErrorEditProc},
    {"XevDlgProc", XevDlgProc},         {"XevListValuesDlgProc", XevListValuesDlgProc},
    {"XevViewTextDlgProc", XevViewTextDlgProc},
};

}  // namespace

void* LookupProcedure(const char* name) {
  if (name == nullptr) return nullptr;
  for (const ProcedureExport& e : kProcedures)
    if (std::strcmp(e.name, name) == 0) return reinterpret_cast<void*>(e.procedure);
  return nullptr;
}

}  // namespace xev::editor
