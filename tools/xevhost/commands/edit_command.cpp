#include "commands/edit_command.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "commands/host_context.h"
#include "formulas/formulas.h"
#include "formulas/formulas_writer.h"
#include "options.h"
#include "xev/xevhost.h"
#include "xev/xevui.h"

namespace xevhost {
namespace {

constexpr size_t kMaxListedValues = 1000;

struct EditArguments {
  Options options;
  std::string platform;
  std::string screenshot;
};

// What the editor's callbacks reach while it is open: one session at a time.
struct EditSession {
  CsvTable* table = nullptr;
  const RowValues* rows = nullptr;
  std::map<int, std::vector<std::string>> values;  // by column, sorted, at most kMaxListedValues
};
EditSession* g_session = nullptr;

bool TakeEditOption(int argc, char** argv, int& i, const char* name, std::string& value, bool& taken,
                    std::string& error) {
  std::string arg = argv[i];
  size_t n = std::strlen(name);
  taken = arg.compare(0, n, name) == 0 && (arg.size() == n || arg[n] == '=');
  if (!taken) return true;
  if (arg.size() > n) {
    value = arg.substr(n + 1);
    return true;
  }
  if (i + 1 >= argc) {
    error = std::string(name) + " needs a value";
    return false;
  }
  value = argv[++i];
  return true;
}

// Takes the editor's own options and leaves the rest to the common parser.
bool ParseEditArguments(int argc, char** argv, EditArguments& out, std::string& error) {
  std::vector<char*> rest{const_cast<char*>("xevhost")};
  for (int i = 1; i < argc; ++i) {
    bool taken = false;
    if (!TakeEditOption(argc, argv, i, "--platform", out.platform, taken, error)) return false;
    if (taken) continue;
    if (!TakeEditOption(argc, argv, i, "--screenshot", out.screenshot, taken, error)) return false;
    if (taken) continue;
    rest.push_back(argv[i]);
  }
  if (!ParseOptions(static_cast<int>(rest.size()), rest.data(), out.options, error)) return false;
  const Options& o = out.options;
  if (o.command == Command::kHelp) return true;
  if (o.command != Command::kReport || o.formulaFiles.size() != 1 || !o.formulaArguments.empty() ||
      !o.savePath.empty() || !o.loadPath.empty() || o.where || o.format || o.limit >= 0) {
    error = "edit takes a data file and one formulas file: xevhost edit DATA.csv -f FILE.formulas";
    return false;
  }
  return true;
}

const std::vector<std::string>& DistinctValues(EditSession& session, int column) {
  auto found = session.values.find(column);
  if (found != session.values.end()) return found->second;
  std::set<std::string> distinct;
  std::vector<std::string> cells;
  std::string error;
  if (session.table->Restart(error))
    while (session.table->NextRow(cells, error))
      if (static_cast<size_t>(column) < cells.size() && !cells[column].empty()) distinct.insert(cells[column]);
  std::vector<std::string>& values = session.values[column];
  for (const std::string& v : distinct) {
    if (values.size() == kMaxListedValues) break;
    values.push_back(v);
  }
  return values;
}

void XEV_CALL ListColumnValues(ExprContext*, const char* itemName, XEVHWND listBox, int32_t, int32_t*) {
  if (g_session == nullptr || itemName == nullptr) return;
  int column = g_session->rows->ColumnOf(itemName);
  if (column < 0) return;
  XEVUiSendMessage(listBox, XEV_LB_RESETCONTENT, 0, 0);
  for (const std::string& value : DistinctValues(*g_session, column))
    XEVUiSendMessage(listBox, XEV_LB_ADDSTRING, 0, reinterpret_cast<intptr_t>(value.c_str()));
}

// A formula another one uses would leave that one broken.
int32_t XEV_CALL AllowDeletingUnused(ExprContext* ec, HEXP exp, XEVHWND) {
  return XEVIsNamedFormulaUsed(ec, ExpressionName(ec, exp).c_str()) == 1 ? 0 : 1;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Formulas saved or deleted with Yes are the person's work: after Cancel (or
// the close button) the file keeps them unless the person says otherwise.
bool KeepAfterCancel(const FormulasFileOrigin& origin, ExprContext* ec, const CodePageConverter& converter,
                     bool exists) {
  std::string content, error;
  if (!RewriteFormulas(origin, ec, converter, content, error)) return true;  // the save reports why
  if (content == (exists ? FileText(origin.path) : std::string())) return false;
  std::string question = "Formulas were saved or deleted in the editor. Keep these changes in " +
                         std::filesystem::path(origin.path).filename().string() + "?";
  // Only a No drops them: a question that could not be asked takes its default, Yes.
  return XEVUiMessageBox(nullptr, question.c_str(), "Formula Editor", XEV_MB_YESNO | XEV_MB_ICONQUESTION) !=
         XEV_IDNO;
}

int EditAndSave(const EditArguments& args, const CodePageConverter& converter, const EditFrontEnd& frontEnd) {
  const std::string& path = args.options.formulaFiles.front();
  bool exists = std::filesystem::exists(path);
  Options options = args.options;
  if (!exists) options.formulaFiles.clear();  // a new file: the editor starts empty
  Prepared prepared;
  int status = kExitOk;
  if (!Prepare(options, converter, false, prepared, status)) return status;
  ExprContext* ec = prepared.context->ec();

  EditSession session;
  session.table = prepared.table.get();
  session.rows = &prepared.context->state().rows;
  g_session = &session;
  XEVSetListValuesCallback(ec, ListColumnValues);
  XEVSetDelPermissionCallback(ec, AllowDeletingUnused);

  XevQtOptions qt{};
  qt.platform = args.platform.empty() ? nullptr : args.platform.c_str();
  qt.screenshotPath = args.screenshot.empty() ? nullptr : args.screenshot.c_str();
  int qtArgc = 1;
  char programName[] = "xevhost";
  char* qtArgv[] = {programName, nullptr};
  if (frontEnd.install(&qtArgc, qtArgv, &qt) == 0) {
    g_session = nullptr;
    std::fprintf(stderr, "xevhost: no display to show the editor on (set DISPLAY, or use --platform offscreen)\n");
    return kExitUsage;
  }
  FormulasFileOrigin origin{path, options.encoding, exists ? prepared.order : std::vector<HEXP>{}};
  HEXP saved = XEVBuildExpression(nullptr, ec, nullptr, 0);
  bool keep = saved != nullptr || (args.screenshot.empty() && KeepAfterCancel(origin, ec, converter, exists));
  frontEnd.uninstall();
  g_session = nullptr;

  if (!args.screenshot.empty()) {
    if (std::filesystem::exists(args.screenshot)) return kExitOk;
    std::fprintf(stderr, "xevhost: %s: the screenshot could not be written\n", args.screenshot.c_str());
    return kExitBadInput;
  }
  if (!keep) {
    std::fprintf(stderr, "xevhost: cancelled, %s is unchanged\n", path.c_str());
    return kExitOk;
  }
  std::string content, error, savedAs;
  if (!RewriteFormulas(origin, ec, converter, content, error)) {
    std::fprintf(stderr, "xevhost: %s\n", error.c_str());
    return kExitBadInput;
  }
  if (!ReplaceFile(path, content, ForceRules(options.force), savedAs, error)) {
    if (savedAs.empty()) std::fprintf(stderr, "xevhost: %s; the edits could not be saved\n", error.c_str());
    else std::fprintf(stderr, "xevhost: %s; the edits are saved in %s, and %s is unchanged\n", error.c_str(),
                      savedAs.c_str(), path.c_str());
    return kExitBadInput;
  }
  std::fprintf(stderr, "xevhost: wrote %s%s\n", path.c_str(), exists ? " (the old one is kept as .bak)" : "");
  return kExitOk;
}

// The folder of the libxev this process runs on: the front end installed
// beside it is the one built against it.
std::string LibraryDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&XEVVersion), &info) == 0 || info.dli_fname == nullptr) return {};
  return std::filesystem::path(info.dli_fname).parent_path().string();
}

// The front end drives the kit through the library's exports; they must be
// the very ones this process uses, or keys and clicks would reach a second,
// windowless copy of the kit.
bool SharesOurLibrary(void* library) {
  return dlsym(library, "XEVUiKey") == reinterpret_cast<void*>(&XEVUiKey) &&
         dlsym(library, "XEVUiType") == reinterpret_cast<void*>(&XEVUiType);
}

}  // namespace

bool LoadQtFrontEnd(EditFrontEnd& frontEnd, std::string& error) {
  std::string soname = "libxev-qt.so." + std::to_string(XEV_VERSION_MAJOR);
  std::vector<std::string> candidates;
  if (const char* chosen = std::getenv("XEV_QT_LIBRARY"); chosen != nullptr && *chosen != '\0')
    candidates.push_back(chosen);
  if (std::string dir = LibraryDirectory(); !dir.empty()) candidates.push_back(dir + "/" + soname);
#ifdef XEV_QT_LIBRARY
  candidates.push_back(XEV_QT_LIBRARY);
#endif
  candidates.push_back(soname);
  // Every candidate tried says why it was passed over: the first reason is
  // seldom the one that matters.
  std::string reasons;
  const auto passOver = [&reasons](const std::string& why) { reasons += (reasons.empty() ? "" : "; ") + why; };
  for (const std::string& candidate : candidates) {
    if (candidate.find('/') != std::string::npos && !std::filesystem::exists(candidate)) continue;
    void* library = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      passOver(dlerror());
      continue;
    }
    if (!SharesOurLibrary(library)) {
      passOver(candidate + " runs on another copy of libxev than this program");
      dlclose(library);
      continue;
    }
    frontEnd.install = reinterpret_cast<decltype(frontEnd.install)>(dlsym(library, "XevQtInstall"));
    frontEnd.uninstall = reinterpret_cast<decltype(frontEnd.uninstall)>(dlsym(library, "XevQtUninstall"));
    if (frontEnd.install != nullptr && frontEnd.uninstall != nullptr) return true;
    passOver(candidate + " is not the xev Qt front end");
    dlclose(library);
  }
  if (reasons.empty()) reasons = soname + " was not found";
  error = "the editor needs the Qt front end, which this build lacks (" + reasons + ")";
  return false;
}

int RunEdit(int argc, char** argv, const EditFrontEnd& frontEnd) {
  EditArguments args;
  std::string error;
  if (!ParseEditArguments(argc, argv, args, error)) {
    std::fprintf(stderr, "xevhost: %s\n", error.c_str());
    PrintEditUsage(stderr);
    return kExitUsage;
  }
  if (args.options.command == Command::kHelp) {
    PrintEditUsage(stdout);
    return kExitOk;
  }
  if (HostSetCodePage(args.options.codePage) != 1) {
    std::fprintf(stderr, "xevhost: the engine does not support code page %u\n", args.options.codePage);
    return kExitUsage;
  }
  CodePageConverter converter(args.options.codePage, args.options.replaceInvalid);
  if (!converter.ok()) {
    std::fprintf(stderr, "xevhost: this system cannot convert text to code page %u\n", args.options.codePage);
    return kExitBadInput;
  }
  if (converter.utf8()) args.options.encoding = InputEncoding::kUtf8;
  return EditAndSave(args, converter, frontEnd);
}

int RunEditCommand(int argc, char** argv) {
  EditFrontEnd frontEnd;
  std::string error;
  if (!LoadQtFrontEnd(frontEnd, error)) {
    std::fprintf(stderr, "xevhost: %s\n", error.c_str());
    return kExitBadInput;
  }
  return RunEdit(argc, argv, frontEnd);
}

void PrintEditUsage(std::FILE* out) {
  std::fputs(
      "usage: xevhost edit DATA.csv -f FILE.formulas [options]\n"
      "Opens the formula editor on the data file's columns and the file's formulas;\n"
      "OK writes the file back (the old one kept as FILE.formulas.bak). Cancel\n"
      "writes nothing, unless formulas were saved or deleted in the editor and the\n"
      "question that follows keeps them. Only formulas that nothing uses can be deleted.\n"
      "\n"
      "options:\n"
      "  --platform NAME       Qt platform: xcb (a desktop), offscreen, ...\n"
      "  --screenshot OUT.png  draw the editor once into OUT.png and close it\n"
      "  --ranges-sets, --code-page CP, --replace-invalid, --encoding ENC\n"
      "                        as for a report (65001, UTF-8, is the default)\n",
      out);
}

}  // namespace xevhost
