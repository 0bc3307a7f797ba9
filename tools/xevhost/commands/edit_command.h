// `xevhost edit DATA.csv -f FILE.formulas`: the formula editor on a desktop,
// over the columns of a CSV file and the formulas of a file, which OK
// writes back.
#pragma once

#include <string>

#include "xev/xevqt.h"

namespace xevhost {

// The desktop front end's entry points.
struct EditFrontEnd {
  int32_t(XEV_CALL* install)(int* argc, char** argv, const XevQtOptions* options) = nullptr;
  void(XEV_CALL* uninstall)(void) = nullptr;
};

// Finds libxev-qt.so (XEV_QT_LIBRARY in the environment, beside the libxev
// this process runs on, the build's own, then the loader's search path) and
// takes it only when it runs on that same libxev. false with why.
bool LoadQtFrontEnd(EditFrontEnd& frontEnd, std::string& error);

// argv[0] is "edit". Returns the tool's exit status.
int RunEdit(int argc, char** argv, const EditFrontEnd& frontEnd);

// What main hands `xevhost edit ...` to: loads the front end, then RunEdit.
int RunEditCommand(int argc, char** argv);

void PrintEditUsage(std::FILE* out);

}  // namespace xevhost
