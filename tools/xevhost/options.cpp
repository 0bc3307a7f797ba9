#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace xevhost {
namespace {

bool ParseCount(const std::string& text, int64_t& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || value < 0) return false;
  out = value;
  return true;
}

bool ParseFormat(const std::string& text, OutputFormat& out) {
  if (text == "table") out = OutputFormat::kTable;
  else if (text == "csv") out = OutputFormat::kCsv;
  else if (text == "json") out = OutputFormat::kJson;
  else return false;
  return true;
}

bool ParseEncoding(const std::string& text, InputEncoding& out) {
  if (text == "auto") out = InputEncoding::kAuto;
  else if (text == "utf-8" || text == "utf8") out = InputEncoding::kUtf8;
  else if (text == "ansi") out = InputEncoding::kAnsi;
  else return false;
  return true;
}

// The value of an option given as "--name value" or "--name=value".
bool TakeValue(int argc, char** argv, int& i, const std::string& arg, const char* name,
               std::string& value, bool& matched, std::string& error) {
  size_t n = std::strlen(name);
  matched = false;
  if (arg.compare(0, n, name) != 0) return true;
  if (arg.size() == n) {
    matched = true;
    if (i + 1 >= argc) {
      error = std::string(name) + " needs a value";
      return false;
    }
    value = argv[++i];
    return true;
  }
  if (arg[n] == '=') {
    matched = true;
    value = arg.substr(n + 1);
  }
  return true;
}

struct Flag {
  const char* name;
  uint16_t contextFlag;  // 0: one of the report's own switches
  bool Options::*field;
};
constexpr Flag kFlags[] = {
    {"--ranges-sets", ECF_RANGES_SETS, nullptr},
    {"--set-quantifiers", ECF_SET_QUANTIFIERS, nullptr},
    {"--modulo", ECF_MODULO, nullptr},
    {"--string-plus", ECF_STRING_PLUS, nullptr},
    {"--no-string-concat", ECF_NO_STRING_CONCAT, nullptr},
    {"--date-minus-string", ECF_DATE_MINUS_STRING, nullptr},
    {"--no-date-arith", ECF_NO_DATE_ARITH, nullptr},
    {"--sort", 0, &Options::sortGroups},
    {"--totals", 0, &Options::totals},
    {"--force", 0, &Options::force},
    {"--replace-invalid", 0, &Options::replaceInvalid},
};

bool ApplyFlag(const std::string& arg, Options& options) {
  for (const Flag& flag : kFlags) {
    if (arg != flag.name) continue;
    if (flag.field != nullptr) options.*flag.field = true;
    options.contextFlags |= flag.contextFlag;
    return true;
  }
  return false;
}

// "A,B" -> {"A", "B"}; false for an empty name.
bool SplitNames(const std::string& text, std::vector<std::string>& names) {
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (name.empty()) return false;
    names.push_back(name);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      options.command = Command::kHelp;
      return true;
    }
    if (ApplyFlag(arg, options)) continue;
    if (arg == "-f") arg = "--formulas";
    std::string value;
    bool matched = false;
    struct Valued {
      const char* name;
      bool (*apply)(Options&, const std::string&, std::string&);
    };
    static const Valued kValued[] = {
        {"--formulas", [](Options& o, const std::string& v, std::string&) { o.formulaFiles.push_back(v); return true; }},
        {"--formula", [](Options& o, const std::string& v, std::string&) { o.formulaArguments.push_back(v); return true; }},
        {"--format", [](Options& o, const std::string& v, std::string& e) {
           OutputFormat f;
           if (!ParseFormat(v, f)) { e = "--format must be table, csv or json"; return false; }
           o.format = f;
           return true;
         }},
        {"--limit", [](Options& o, const std::string& v, std::string& e) {
           if (!ParseCount(v, o.limit)) { e = "--limit needs a count of rows"; return false; }
           return true;
         }},
        {"--jobs", [](Options& o, const std::string& v, std::string& e) {
           if (!ParseCount(v, o.jobs) || o.jobs < 1 || o.jobs > 64) { e = "--jobs needs a count of threads from 1 to 64"; return false; }
           return true;
         }},
        {"--max-width", [](Options& o, const std::string& v, std::string& e) {
           if (!ParseCount(v, o.maxWidth) || o.maxWidth < 2) { e = "--max-width needs a width of 2 or more"; return false; }
           return true;
         }},
        {"--date-format", [](Options& o, const std::string& v, std::string& e) {
           if (FormatCheckPicture(v.c_str()) != 1) { e = "--date-format needs a date picture such as yyyy-MM-dd (see docs/pictures.md)"; return false; }
           o.dateFormat = v;
           return true;
         }},
        {"--locale", [](Options& o, const std::string& v, std::string&) { o.locale = v; return true; }},
        {"--where", [](Options& o, const std::string& v, std::string&) { o.where = v; return true; }},
        {"--group-by", [](Options& o, const std::string& v, std::string& e) {
           if (!SplitNames(v, o.groupBy)) { e = "--group-by needs names separated by commas"; return false; }
           return true;
         }},
        {"--now", [](Options& o, const std::string& v, std::string&) { o.now = v; return true; }},
        {"--columns", [](Options& o, const std::string& v, std::string&) {
           o.command = Command::kColumns;
           o.dataPath = v;
           return true;
         }},
        {"--save", [](Options& o, const std::string& v, std::string& e) {
           if (v.empty()) { e = "--save needs a file name"; return false; }
           o.savePath = v;
           return true;
         }},
        {"--load", [](Options& o, const std::string& v, std::string&) { o.loadPath = v; return true; }},
        {"--code-page", [](Options& o, const std::string& v, std::string& e) {
           if (v == "65001") o.codePage = 65001;
           else if (v == "1252") o.codePage = 1252;
           else if (v == "932") o.codePage = 932;
           else { e = "--code-page must be 65001, 1252 or 932"; return false; }
           return true;
         }},
        {"--encoding", [](Options& o, const std::string& v, std::string& e) {
           if (!ParseEncoding(v, o.encoding)) { e = "--encoding must be auto, utf-8 or ansi"; return false; }
           return true;
         }},
    };
    bool handled = false;
    for (const Valued& option : kValued) {
      // "--formula" is a prefix of "--formulas": only an exact name or "=" matches.
      if (!TakeValue(argc, argv, i, arg, option.name, value, matched, error)) return false;
      if (!matched) continue;
      if (!option.apply(options, value, error)) return false;
      handled = true;
      break;
    }
    if (handled) continue;
    if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    }
    positional.push_back(arg);
  }

  size_t next = 0;
  if (options.command == Command::kColumns) {
    if (positional.empty()) return true;
    error = "--columns takes the data file as its value: xevhost --columns DATA.csv";
    return false;
  }
  if (!positional.empty() && positional[0] == "info") {
    options.command = Command::kInfo;
    if (positional.size() != 2) {
      error = "info takes one document: xevhost info DOC.xev";
      return false;
    }
    options.documentPath = positional[1];
    return true;
  }
  if (!positional.empty() && positional[0] == "explain") {
    options.command = Command::kExplain;
    if (positional.size() < 2) {
      error = "explain needs a formula name: xevhost explain NAME [DATA.csv] [options]";
      return false;
    }
    options.explainName = positional[1];
    next = 2;
  }
  if (positional.size() > next + 1) {
    error = "more than one data file given";
    return false;
  }
  if (positional.size() == next + 1) options.dataPath = positional[next];
  if (options.command == Command::kReport && options.dataPath.empty()) {
    error = "no data file given";
    return false;
  }
  return true;
}

bool CheckTextOptions(Options& options, const CodePageConverter& converter, std::string& error) {
  if (!converter.utf8()) return true;
  auto check = [&](std::string& text, std::string_view origin, int64_t ordinal) {
    size_t replaced = 0;
    if (!converter.CheckInput(text, InputPlace{origin, ordinal}, replaced, error)) return false;
    if (replaced == 0) return true;
    std::string good;
    ReplaceBadUtf8(text, good);
    text = good;
    ReportReplaced(std::string(origin) + " " + std::to_string(ordinal), replaced);
    return true;
  };
  for (size_t i = 0; i < options.formulaArguments.size(); ++i)
    if (!check(options.formulaArguments[i], "--formula", static_cast<int64_t>(i + 1))) return false;
  for (size_t i = 0; i < options.groupBy.size(); ++i)
    if (!check(options.groupBy[i], "--group-by", static_cast<int64_t>(i + 1))) return false;
  for (auto [text, origin] : {std::pair{&options.where, "--where"}, std::pair{&options.now, "--now"}})
    if (*text && !check(**text, origin, 1)) return false;
  return check(options.dateFormat, "--date-format", 1) && check(options.explainName, "explain", 1);
}

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: xevhost [options] DATA.csv        evaluate formulas for every row\n"
      "       xevhost explain NAME [DATA.csv] [options]\n"
      "                                         show what a formula is and uses\n"
      "       xevhost info DOC.xev              list what a saved document holds\n"
      "       xevhost edit DATA.csv -f FILE     edit the formulas in the formula editor\n"
      "       xevhost --columns DATA.csv        list the data items a CSV file gives\n"
      "\n"
      "Each CSV column becomes a data item: Number when every non-empty cell is a\n"
      "number, DateTime when every one is a date or time, else String; empty cells\n"
      "are NULL. Header texts become names: blanks and other characters a name\n"
      "cannot hold turn into '_' (Order Date -> Order_Date); date-unit words, the\n"
      "keywords AND, DISTINCT and ALL, and leading digits get a '_' in front\n"
      "(Month -> _Month). The first line is the header; lines end in LF, CR LF or\n"
      "CR. The data is read once (a file mapped, a pipe such as /dev/stdin into memory).\n"
      "\n"
      "options:\n"
      "  -f, --formulas FILE   formulas, one 'name = text' a line, '#' comments\n"
      "  --formula NAME=TEXT   one more formula (repeatable)\n"
      "  --where FORMULA       only rows for which this Number formula is non-zero\n"
      "  --limit N             stop after N rows of output\n"
      "  --jobs N              evaluate rows on N threads (default: one per processor);\n"
      "                        the output is the same for every N. Reports with\n"
      "                        aggregates or --group-by evaluate on one thread\n"
      "  --group-by NAME[,NAME]\n"
      "                        one row per group of equal values of these data items\n"
      "                        or formulas; aggregates (Sum, Average, Count, Minimum,\n"
      "                        Maximum) then run over each group's rows\n"
      "  --sort                groups in the order of their values, not as first seen\n"
      "  --totals              a last line: each Number column summed, or in a\n"
      "                        grouped report each aggregate over all rows\n"
      "  --now 'YYYY-MM-DD HH:MM'\n"
      "                        what @NOW gives (default: the time the run starts)\n"
      "  --format FORMAT       table (default on a terminal), csv (default otherwise), json;\n"
      "                        tables align numbers on the point, CSV and JSON write\n"
      "                        dates as ISO 8601 (2024-01-31, 2024-01-31T16:45:00)\n"
      "  --max-width N         cut table cells wider than N, ending them with an ellipsis\n"
      "  --date-format PICTURE write DateTimes by a date picture in every format:\n"
      "                        'dd MMM yyyy', 'yyyy-MM-dd HH:mm' (codes in docs/pictures.md)\n"
      "  --locale NAME         the locale NumberToCurrency and NumberCountryFmt write in\n"
      "                        (de_DE.UTF-8; env: the environment's LC_NUMERIC and\n"
      "                        LC_MONETARY); default: plain numbers, no grouping\n"
      "  --save DOC.xev        store data items and formulas as a document (with\n"
      "                        --limit 0, only that: nothing is printed). The old file\n"
      "                        is replaced whole, keeping its permissions; through a\n"
      "                        symbolic link, the file it points to is replaced and the\n"
      "                        link stays. A read-only file, or one that is not a\n"
      "                        regular file (a device, a pipe), is refused\n"
      "  --force               with --save: replace a read-only file, or write into a\n"
      "                        device or pipe as it is\n"
      "  --load DOC.xev        start from a stored document\n"
      "  --code-page CP        the code page formulas run in: 65001 (UTF-8, the default),\n"
      "                        1252 or 932. Under 65001 input is UTF-8 (a leading BOM\n"
      "                        is skipped) and a byte that is not is an error naming\n"
      "                        its file, line and byte; 1252 and 932 read UTF-8 or\n"
      "                        their own bytes (--encoding) and turn a character they\n"
      "                        cannot hold into '?'. Output is UTF-8 in every case\n"
      "  --replace-invalid     under 65001: each bad UTF-8 sequence becomes U+FFFD, and\n"
      "                        standard error tells how many did, per file\n"
      "  --encoding ENC        under 1252 and 932, of the input files: auto (default),\n"
      "                        utf-8 or ansi\n"
      "\n"
      "language options (off by default unless said):\n"
      "  --ranges-sets         (always on) ranges and sets are read and listed; a report\n"
      "                        leaves them out with a note\n"
      "  --set-quantifiers     DISTINCT and ALL in aggregates: Count(DISTINCT Customer)\n"
      "  --modulo              accept % (it gives no value; NumberMod computes remainders)\n"
      "  --string-plus         + joins strings as || does\n"
      "  --no-string-concat    || is refused\n"
      "  --date-minus-string   a DateTime minus a String\n"
      "  --no-date-arith       no arithmetic on DateTime values\n"
      "\n"
      "exit status: 0 done, 1 unusable input, 2 a formula does not parse, 64 usage,\n"
      "             71 out of memory, 74 the output cannot be written\n",
      out);
}

}  // namespace xevhost
