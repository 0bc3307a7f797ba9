// The command line of xevhost.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "input/text_encoding.h"
#include "report/report_output.h"

namespace xevhost {

enum class Command { kReport, kInfo, kExplain, kColumns, kHelp };

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 1;   // a file, a row or a document is unusable
inline constexpr int kExitFormula = 2;    // a formula does not parse
inline constexpr int kExitUsage = 64;     // the command line is wrong
inline constexpr int kExitNoMemory = 71;  // memory ran out

struct Options {
  Command command = Command::kReport;
  std::string dataPath;     // CSV file
  std::string documentPath; // info's document
  std::string explainName;  // UTF-8
  std::vector<std::string> formulaFiles;
  std::vector<std::string> formulaArguments;  // NAME=TEXT, UTF-8
  uint16_t contextFlags = 0;  // ECF_* the command line asks for
  std::vector<std::string> groupBy;  // UTF-8 names
  bool sortGroups = false;
  bool totals = false;
  std::optional<std::string> now;  // what @NOW gives instead of the time of the run
  std::optional<OutputFormat> format;
  int64_t limit = -1;  // -1: all rows
  int64_t jobs = 0;    // threads evaluating rows; 0: one per processor
  int64_t maxWidth = 0;  // 0: table cells as wide as their values
  std::string dateFormat;  // a date picture, UTF-8; empty: dates by the format
  std::optional<std::string> locale;  // a C library locale name, or "env"
  std::optional<std::string> where;
  std::string savePath;
  bool force = false;  // --save may replace a read-only file or write into a device
  std::string loadPath;
  uint32_t codePage = 65001;
  bool replaceInvalid = false;  // under 65001: bad UTF-8 becomes U+FFFD
  InputEncoding encoding = InputEncoding::kAuto;
};

// false with a message when the arguments do not make a command.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);
void PrintUsage(std::FILE* out);
// Under UTF-8: false with a message naming the option when one of the texts
// the engine reads (formulas, names, pictures) is not UTF-8, unless bad
// sequences are to be replaced, which is then done in place and told.
bool CheckTextOptions(Options& options, const CodePageConverter& converter, std::string& error);

}  // namespace xevhost
