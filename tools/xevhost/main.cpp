// xevhost: the reference host of the xev formula engine. It does what a report
// tool does with the library: data items over a CSV file, formulas from a file
// or the command line, a value per formula and row, and stored documents.
#include <csignal>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string_view>

#include "commands/documents.h"
#include "commands/edit_command.h"
#include "commands/out_of_memory.h"
#include "formulas/explain.h"
#include "input/locale_setting.h"
#include "input/text_encoding.h"
#include "options.h"
#include "report/report_output.h"
#include "report/report_run.h"
#include "xev/xev.h"

namespace {

int Run(int argc, char** argv) {
  using namespace xevhost;
  if (argc > 1 && std::string_view(argv[1]) == "edit") return RunEditCommand(argc - 1, argv + 1);
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "xevhost: %s; see xevhost --help\n", error.c_str());
    return kExitUsage;
  }
  if (options.command == Command::kHelp) {
    PrintUsage(stdout);
    // The usage is longer than the stream's buffer: a write that failed on
    // the way has its reason in errno only until the next call.
    StopIfOutputFailed(stdout);
    return kExitOk;
  }
  if (HostSetCodePage(options.codePage) != 1) {
    std::fprintf(stderr, "xevhost: the engine does not support code page %u\n", options.codePage);
    return kExitUsage;
  }
  CodePageConverter converter(options.codePage, options.replaceInvalid);
  if (!converter.ok()) {
    std::fprintf(stderr, "xevhost: this system cannot convert text to code page %u\n", options.codePage);
    return kExitBadInput;
  }
  // The code page's own bytes are UTF-8 under 65001: there is one encoding.
  if (converter.utf8()) options.encoding = InputEncoding::kUtf8;
  if (!CheckTextOptions(options, converter, error)) {
    std::fprintf(stderr, "xevhost: %s\n", error.c_str());
    return kExitBadInput;
  }
  if (options.locale && !UseLocale(*options.locale, converter, error)) {
    std::fprintf(stderr, "xevhost: %s\n", error.c_str());
    return kExitUsage;
  }
  switch (options.command) {
    case Command::kInfo: return RunInfo(options, converter);
    case Command::kExplain: return RunExplain(options, converter);
    case Command::kColumns: return RunColumns(options, converter);
    default: return RunReport(options, converter);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Whoever started us may have ignored SIGPIPE; a reader that goes away
  // (| head -1) should end the run at once and quietly, as it does for any
  // other tool in a pipe.
  std::signal(SIGPIPE, SIG_DFL);
  xevhost::EndRunWhenMemoryRunsOut();
  int status = xevhost::kExitOk;
  try {
    status = Run(argc, argv);
  } catch (const std::bad_alloc&) {
    xevhost::OutOfMemory();  // an array too large to ask for never reaches the handler
  } catch (const std::length_error&) {
    xevhost::OutOfMemory();
  }
  if (!xevhost::OutputWritten(stdout) && status == xevhost::kExitOk) status = xevhost::kExitOutput;
  return status;
}
