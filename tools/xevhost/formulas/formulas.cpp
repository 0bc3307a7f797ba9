#include "formulas/formulas.h"

#include <functional>
#include <map>
#include <queue>
#include <unordered_map>

#include "formulas/diagnostics.h"
#include "formulas/hints.h"

namespace xevhost {
namespace {

struct Attempt {
  const FormulaSource* source;
  ExprError error{};
  HEXP exp = nullptr;
  bool done = false;
};

// The name an unknown-function error points at: its span runs from the name
// to the parenthesis after it.
std::string AwaitedName(const Attempt& a) {
  const std::string& text = a.source->text;
  if (a.error.pos >= text.size()) return "";
  std::string name = text.substr(a.error.pos, a.error.len);
  name = name.substr(0, name.find('('));
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  return name;
}

}  // namespace

std::string ExpressionName(ExprContext* ec, HEXP exp) {
  int32_t length = XEVGetExpressionNameLength(ec, exp);
  std::string name(static_cast<size_t>(length) + 1, '\0');
  if (XEVGetExpressionName(ec, exp, length + 1, name.data()) < 0) return "";
  name.resize(static_cast<size_t>(length));
  return name;
}

std::string ExpressionText(ExprContext* ec, HEXP exp) {
  int32_t length = XEVGetExpressionTextLength(ec, exp);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  XEVGetExpressionText(ec, exp, length + 1, text.data());
  text.resize(static_cast<size_t>(length));
  return text;
}

namespace {

int32_t XEV_CALL CollectReference(ExprContext* /*ec*/, int16_t kind, const char* name, intptr_t user) {
  reinterpret_cast<std::vector<FormulaReference>*>(user)->push_back({kind, name});
  return 1;
}

}  // namespace

bool ListReferences(ExprContext* ec, HEXP exp, std::vector<FormulaReference>& references) {
  references.clear();
  return XEVEnumExpReferences(ec, exp, CollectReference, reinterpret_cast<intptr_t>(&references)) == 1;
}

std::vector<FormulaEntry> ListFormulas(ExprContext* ec) {
  std::vector<FormulaEntry> list;
  int32_t count = XEVGetExpressionCount(ec);
  for (int32_t i = 0; i < count; ++i) {
    HEXP exp = XEVHEXPFromOrdinal(ec, i);
    if (exp == nullptr) continue;
    FormulaEntry entry;
    entry.exp = exp;
    entry.name = ExpressionName(ec, exp);
    entry.type = XEVGetExpressionDataType(ec, exp);
    entry.rangeOrSet = XEVIsExpRange(ec, exp, 1) == 1 || XEVIsExpRange(ec, exp, 2) == 1;
    list.push_back(entry);
  }
  return list;
}

// Numbers the definitions of one origin read since sFrom and eFrom by their
// lines, continuing the count of all definitions read before.
void NumberInOrder(std::vector<FormulaSource>& sources, size_t s, std::vector<DefinitionError>& errors,
                   size_t e, int& order) {
  while (s < sources.size() || e < errors.size()) {
    bool takeSource = e == errors.size() || (s < sources.size() && sources[s].line < errors[e].line);
    if (takeSource) sources[s++].order = order++;
    else errors[e++].order = order++;
  }
}

bool CollectFormulaSources(const Options& options, const CodePageConverter& converter,
                           std::vector<FormulaSource>& sources, std::vector<DefinitionError>& errors) {
  int order = 0;
  for (const std::string& path : options.formulaFiles) {
    size_t s = sources.size();
    size_t e = errors.size();
    std::string ioError;
    if (!ReadFormulasFile(path, options.encoding, converter, sources, errors, ioError)) {
      std::fprintf(stderr, "xevhost: %s\n", ioError.c_str());
      return false;
    }
    NumberInOrder(sources, s, errors, e, order);
  }
  size_t s = sources.size();
  size_t e = errors.size();
  int ordinal = 0;
  for (const std::string& argument : options.formulaArguments) {
    FormulaSource source;
    DefinitionError error;
    std::string ansi;
    converter.FromInput(argument, true, ansi, InputPlace{"--formula", ++ordinal});
    if (ParseDefinition(ansi, "--formula", ordinal, source, error)) {
      sources.push_back(std::move(source));
    } else {
      errors.push_back(std::move(error));
    }
  }
  NumberInOrder(sources, s, errors, e, order);
  return true;
}

int ParseFormulas(ExprContext* ec, const std::vector<FormulaSource>& sources,
                  const std::vector<DefinitionError>& shapeErrors, const CodePageConverter& converter,
                  std::FILE* diagnostics, std::vector<HEXP>& parsed) {
  std::vector<Attempt> attempts;
  for (const FormulaSource& s : sources) attempts.push_back(Attempt{&s});
  auto tryParse = [ec](Attempt& a) {
    uint16_t type = 0;
    a.error = ExprError{};
    a.exp = XEVParseFormula(ec, nullptr, a.source->text.c_str(), a.source->name.c_str(), &a.error, &type);
    a.done = a.exp != nullptr;
    return a.done;
  };
  // A formula that names one written after it fails until that one is
  // parsed; it waits under that name and is tried again once, when the name
  // is defined, so formulas in any order cost one parse each and one more per
  // name they waited for. They are tried in the order of passes over the
  // file, each pass in file order, which fixes the order they are stored in.
  std::unordered_map<std::string, std::vector<size_t>> waiting;
  std::priority_queue<size_t, std::vector<size_t>, std::greater<>> pass, nextPass;
  for (size_t i = 0; i < attempts.size(); ++i) pass.push(i);
  while (!pass.empty()) {
    for (; !pass.empty(); pass.pop()) {
      size_t i = pass.top();
      Attempt& a = attempts[i];
      if (!tryParse(a)) {
        // A formula named before it is defined reads as an unknown function.
        if (a.error.code == XEV_ERR_FUNC) waiting[AwaitedName(a)].push_back(i);
        continue;
      }
      auto woken = waiting.find(a.source->name);
      if (woken == waiting.end()) continue;
      for (size_t w : woken->second) (w > i ? pass : nextPass).push(w);
      waiting.erase(woken);
    }
    std::swap(pass, nextPass);
  }
  // A name the error did not show as written still gets the plain passes.
  for (bool progress = !waiting.empty(); progress;) {
    progress = false;
    for (Attempt& a : attempts)
      if (!a.done && a.error.code == XEV_ERR_FUNC && tryParse(a)) progress = true;
  }
  for (const Attempt& a : attempts)
    if (a.done) parsed.push_back(a.exp);
  std::map<int, std::string> report;  // by the order definitions were written in
  for (const DefinitionError& e : shapeErrors) report[e.order] = FormatDefinitionError(e, converter);
  for (const Attempt& a : attempts)
    if (!a.done)
      report[a.source->order] =
          FormatFormulaError(*a.source, a.error, converter, FormulaHint(ec, a.source->name, a.source->text, a.error));
  for (const auto& entry : report) std::fputs(entry.second.c_str(), diagnostics);
  return static_cast<int>(report.size());
}

}  // namespace xevhost
