#include "commands/documents.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

#include "commands/block_layout.h"
#include "commands/file_replace.h"
#include "commands/host_context.h"
#include "formulas/diagnostics.h"
#include "formulas/formula_uses.h"
#include "formulas/formulas.h"
#include "input/column_types.h"
#include "input/data_items.h"

namespace xevhost {

struct LoadReporter {
  struct Report {
    std::string text;
    ExprError error;
  };
  std::vector<Report> reports;
};

namespace {

const char* const kOperatorSymbols[] = {"+", "-", "*", "/", "||"};
constexpr int kSlotsPerOperator = 4;

int32_t XEV_CALL OnLoadError(ExprContext* ec, const char* text, ExprError* error) {
  auto* state = reinterpret_cast<HostState*>(XEVGetUserLong(ec));
  if (state == nullptr || state->loadReporter == nullptr || error == nullptr) return 0;
  state->loadReporter->reports.push_back({text != nullptr ? text : "", *error});
  return 0;
}

// A stored formula shown as if it were a line "name = text" of a formulas
// file, so that its error can be printed the same way.
FormulaSource SourceOfStored(const std::string& path, int index, const std::string& name,
                             const std::string& text) {
  FormulaSource source;
  source.origin = path;
  source.line = index + 1;
  source.name = name;
  source.text = text;
  source.lineText = name + " = " + text;
  source.nameOffset = 0;
  source.textOffset = name.size() + 3;
  return source;
}

int IndexOfText(const BlockLayout& layout, const std::string& text) {
  for (size_t i = 0; i < layout.formulas.size(); ++i)
    if (layout.formulas[i].text == text) return static_cast<int>(i);
  return -1;
}

// The engine stops a load at a formula it cannot parse and, without an
// editor to correct it in, says no more; parsing the formulas it left out
// again finds the one to blame and its error.
bool ExplainFailedLoad(ExprContext* ec, const std::string& path, const BlockLayout& layout,
                       const CodePageConverter& converter, std::FILE* out) {
  struct Left {
    int index;
    ExprError error{};
    bool done = false;
  };
  std::vector<Left> left;
  for (size_t i = 0; i < layout.formulas.size(); ++i)
    if (XEVHEXPFromName(ec, layout.formulas[i].name.c_str()) == nullptr) left.push_back({static_cast<int>(i)});
  auto tryParse = [&](Left& l) {
    const StoredFormula& f = layout.formulas[static_cast<size_t>(l.index)];
    uint16_t type = 0;
    l.error = ExprError{};
    l.done = XEVParseFormula(ec, nullptr, f.text.c_str(), f.name.c_str(), &l.error, &type) != nullptr;
    return l.done;
  };
  for (Left& l : left) tryParse(l);
  for (bool progress = true; progress;) {
    progress = false;
    for (Left& l : left)
      if (!l.done && l.error.code == XEV_ERR_FUNC && tryParse(l)) progress = true;
  }
  bool printed = false;
  for (const Left& l : left) {
    if (l.done) continue;
    const StoredFormula& f = layout.formulas[static_cast<size_t>(l.index)];
    PrintFormulaError(out, SourceOfStored(path, l.index, f.name, f.text), l.error, converter);
    printed = true;
  }
  return printed;
}

bool ExplainUnresolvedNames(const std::string& path, const BlockLayout& layout,
                            const CodePageConverter& converter, std::FILE* out) {
  bool printed = false;
  for (size_t i = 0; i < layout.operatorNames.size(); ++i) {
    if (layout.operatorNames[i].empty()) continue;
    std::fprintf(out, "xevhost: %s: the document needs the host operator callback %s for %s on %s\n",
                 path.c_str(), converter.ToUtf8(layout.operatorNames[i]).c_str(),
                 kOperatorSymbols[i / kSlotsPerOperator], TypeName(static_cast<int>(i % kSlotsPerOperator)));
    printed = true;
  }
  for (size_t i = 0; i < layout.bindingNames.size(); ++i) {
    if (ResolveBinding(layout.bindingNames[i].c_str()) != 0) continue;
    std::fprintf(out, "xevhost: %s: data item %s is bound to %s, which is not a column of this tool\n",
                 path.c_str(), converter.ToUtf8(layout.itemNames[i]).c_str(),
                 converter.ToUtf8(layout.bindingNames[i]).c_str());
    printed = true;
  }
  return printed;
}

// A block does not record its code page: one saved under 1252 or 932 holds
// bytes that are not UTF-8 as soon as a name or text goes beyond ASCII, and
// read under UTF-8 its names would be refused or shown broken.
bool HoldsOnlyUtf8(const BlockLayout& layout) {
  for (const auto* names : {&layout.operatorNames, &layout.itemNames, &layout.bindingNames})
    for (const std::string& name : *names)
      if (!IsValidUtf8(name)) return false;
  for (const StoredFormula& f : layout.formulas)
    if (!IsValidUtf8(f.name) || !IsValidUtf8(f.text)) return false;
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad()) {
    error = path + ": cannot read";
    return false;
  }
  return true;
}

namespace {

// The block counts its data items and formulas in signed 16 bits.
constexpr int32_t kMostPerSection = 32767;

int32_t XEV_CALL CountItem(ExprContext* /*ec*/, const char* /*name*/, intptr_t user) {
  ++*reinterpret_cast<int32_t*>(user);
  return 1;
}

}  // namespace

bool SaveDocument(ExprContext* ec, const std::string& path, const ReplaceRules& rules) {
  int32_t items = 0;
  XEVEnumExpItems(ec, XEV_ITEM_DATA, CountItem, reinterpret_cast<intptr_t>(&items));
  int32_t formulas = XEVGetExpressionCount(ec);
  if (items > kMostPerSection || formulas > kMostPerSection) {
    std::fprintf(stderr, "xevhost: %s: a document holds at most %d data items and %d formulas; this one would hold %d and %d\n",
                 path.c_str(), kMostPerSection, kMostPerSection, items, formulas);
    return false;
  }
  uint32_t size = XEVGetECBlockSize(ec, 1);
  std::vector<unsigned char> block(size);
  int32_t written = XEVGetECBlock(ec, static_cast<int32_t>(size), block.data());
  if (written <= 0 || static_cast<uint32_t>(written) != size) {
    std::fprintf(stderr, "xevhost: %s: the engine could not write the document\n", path.c_str());
    return false;
  }
  std::string error;
  if (ReplaceFileContent(path, std::string_view(reinterpret_cast<const char*>(block.data()), block.size()), rules,
                         error))
    return true;
  std::fprintf(stderr, "xevhost: %s\n", error.c_str());
  return false;
}

bool LoadDocument(ExprContext* ec, const std::string& path, const CodePageConverter& converter,
                  std::FILE* diagnostics) {
  std::vector<unsigned char> block;
  std::string error;
  if (!ReadWholeFile(path, block, error)) {
    std::fprintf(diagnostics, "xevhost: %s\n", error.c_str());
    return false;
  }
  if (block.empty() || block.size() > static_cast<size_t>(INT32_MAX)) {
    std::fprintf(diagnostics, "xevhost: %s: not a formula document (%s)\n", path.c_str(),
                 block.empty() ? "empty file" : "too large");
    return false;
  }
  BlockLayout layout = ReadBlockLayout(block);
  if (layout.version < 0) {
    std::fprintf(diagnostics, "xevhost: %s: not a formula document (unknown version byte %u)\n",
                 path.c_str(), block[0]);
    return false;
  }

  if (converter.utf8() && !HoldsOnlyUtf8(layout)) {
    std::fprintf(diagnostics, "xevhost: %s: the document holds text that is not UTF-8: it was saved under "
                 "another code page; read it with --code-page 1252 (or 932)\n", path.c_str());
    return false;
  }
  auto* state = reinterpret_cast<HostState*>(XEVGetUserLong(ec));
  LoadReporter reporter;
  if (state != nullptr) state->loadReporter = &reporter;
  int32_t loaded = XEVSetECContents(ec, static_cast<int32_t>(block.size()), block.data(), 1, OnLoadError);
  if (state != nullptr) state->loadReporter = nullptr;
  if (loaded == 1) return true;

  std::fprintf(diagnostics, "xevhost: %s: the document could not be loaded\n", path.c_str());
  bool explained = false;
  for (const LoadReporter::Report& report : reporter.reports) {
    int index = IndexOfText(layout, report.text);
    std::string name = index >= 0 ? layout.formulas[static_cast<size_t>(index)].name : "?";
    PrintFormulaError(diagnostics, SourceOfStored(path, index, name, report.text), report.error, converter);
    explained = true;
  }
  if (!explained && !layout.complete) {
    std::fprintf(diagnostics, "xevhost: %s: the document is damaged: it ends inside its contents\n",
                 path.c_str());
    explained = true;
  }
  if (!explained) explained = ExplainUnresolvedNames(path, layout, converter, diagnostics);
  if (!explained) explained = ExplainFailedLoad(ec, path, layout, converter, diagnostics);
  if (!explained)
    std::fprintf(diagnostics, "xevhost: %s: the document is damaged\n", path.c_str());
  return false;
}

int RunInfo(const Options& options, const CodePageConverter& converter) {
  HostContext context(ContextFlags(options) | ECF_RANGES_SETS, /*inspectOnly=*/true);
  if (!context.ok()) {
    std::fprintf(stderr, "xevhost: cannot set up the formula engine (out of memory?)\n");
    return kExitBadInput;
  }
  const std::string& path = options.documentPath;
  if (!LoadDocument(context.ec(), path, converter, stderr)) return kExitBadInput;
  std::vector<unsigned char> block;
  std::string error;
  ReadWholeFile(path, block, error);
  BlockLayout layout = ReadBlockLayout(block);
  ExprContext* ec = context.ec();
  auto utf8 = [&](const std::string& s) { return converter.ToUtf8(s); };

  std::printf("document %s: version %d, %zu bytes\n", path.c_str(), layout.version, block.size());
  std::printf("\noperator callbacks:\n");
  bool anyOperator = false;
  for (size_t i = 0; i < layout.operatorNames.size(); ++i) {
    if (layout.operatorNames[i].empty()) continue;
    std::printf("  %-2s on %-8s  %s\n", kOperatorSymbols[i / kSlotsPerOperator],
                TypeName(static_cast<int>(i % kSlotsPerOperator)), utf8(layout.operatorNames[i]).c_str());
    anyOperator = true;
  }
  if (!anyOperator) std::printf("  (none)\n");

  std::vector<std::string> items = ItemNames(ec, XEV_ITEM_DATA);
  std::printf("\ndata items (%zu):\n", items.size());
  for (const std::string& name : items) {
    ExpItem item;
    std::memset(&item, 0, sizeof item);
    XEVGetExpressionVariable(ec, &item, name.c_str());
    std::printf("  %-24s %-9s %s\n", utf8(name).c_str(), TypeName(item.dataType),
                item.bindingName != nullptr ? utf8(item.bindingName).c_str() : "");
  }

  std::vector<FormulaEntry> formulas = ListFormulas(ec);
  std::printf("\nformulas (%zu):\n", formulas.size());
  UsesIndex usesIndex(ec);
  for (size_t ordinal = 0; ordinal < formulas.size(); ++ordinal) {
    const FormulaEntry& f = formulas[ordinal];
    const char* kind = XEVIsExpRange(ec, f.exp, 1) == 1 ? "set" : XEVIsExpRange(ec, f.exp, 2) == 1 ? "range" : "formula";
    std::printf("  %s (%s, %s) = %s\n", utf8(f.name).c_str(), kind, TypeName(f.type),
                utf8(ExpressionText(ec, f.exp)).c_str());
    FormulaUses uses = usesIndex.For(ordinal);
    std::printf("      data items: %s\n", utf8(JoinNames(uses.items)).c_str());
    std::printf("      functions:  %s%s\n", JoinNames(uses.functions).c_str(), uses.aggregate ? " (aggregate)" : "");
    std::printf("      formulas:   %s\n", utf8(JoinNames(uses.formulas)).c_str());
  }
  return kExitOk;
}

}  // namespace xevhost
