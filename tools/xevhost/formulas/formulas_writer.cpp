#include "formulas/formulas_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string_view>

#include "formulas/formulas.h"
#include "formulas/formulas_file.h"

namespace xevhost {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr int kMostAsideNames = 100;

bool ReadAll(const std::string& path, std::string& content, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot open formulas file: " + std::strerror(errno);
    return false;
  }
  std::stringstream buffer;
  buffer << file.rdbuf();
  content = buffer.str();
  return true;
}

// A formula's text on one line: the editor lets a formula run over lines,
// the file holds one definition per line.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!out.empty() && out.back() != ' ') out.push_back(' ');
      continue;
    }
    out.push_back(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The definition line for a formula that kept its place: the name column and
// the blanks around '=' stay as they were written when the name is unchanged.
std::string RewrittenLine(const FormulaSource& source, const std::string& name, const std::string& text) {
  if (name == source.name) return source.lineText.substr(0, source.textOffset) + text;
  return source.lineText.substr(0, source.nameOffset) + name + " = " + text;
}

// Keeps edits that could not go where they belong in PATH.edited (or
// PATH.edited.2, ...), a name no file had: created exclusively, it never
// writes through a name planted in its place.
void SaveAside(const std::string& path, const std::string& content, std::string& savedAs) {
  // No more open than the file whose edits it keeps.
  struct stat original{};
  mode_t mode = stat(path.c_str(), &original) == 0 ? (original.st_mode & 0666) | S_IWUSR : 0666;
  for (int n = 1; n <= kMostAsideNames; ++n) {
    std::string name = path + ".edited" + (n == 1 ? "" : "." + std::to_string(n));
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return;
    bool written = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    if (close(fd) == 0 && written) {
      savedAs = name;
      return;
    }
    std::remove(name.c_str());
    return;
  }
}

}  // namespace

bool RewriteFormulas(const FormulasFileOrigin& origin, ExprContext* ec, const CodePageConverter& converter,
                     std::string& content, std::string& error) {
  std::string old;
  std::vector<FormulaSource> sources;
  std::vector<DefinitionError> shapeErrors;
  bool exists = !origin.expressions.empty() || std::filesystem::exists(origin.path);
  if (exists) {
    if (!ReadAll(origin.path, old, error)) return false;
    if (!ReadFormulasFile(origin.path, origin.encoding, converter, sources, shapeErrors, error)) return false;
    if (sources.size() != origin.expressions.size()) {
      error = origin.path + ": the file changed while the editor was open";
      return false;
    }
  }
  bool bom = old.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0;
  if (bom) old.erase(0, kByteOrderMark.size());
  bool utf8 = origin.encoding == InputEncoding::kUtf8 || (origin.encoding == InputEncoding::kAuto && IsValidUtf8(old));
  // The file keeps the line ends it was written with.
  std::string newline = old.find("\r\n") != std::string::npos ? "\r\n"
                        : old.find('\r') != std::string::npos && old.find('\n') == std::string::npos ? "\r"
                                                                                                    : "\n";
  auto output = [&](const std::string& ansi) { return utf8 ? converter.ToUtf8(ansi) : ansi; };

  std::set<HEXP> live;
  std::vector<FormulaEntry> formulas = ListFormulas(ec);
  for (const FormulaEntry& f : formulas) live.insert(f.exp);
  std::set<HEXP> written;

  content = bom ? std::string(kByteOrderMark) : std::string();
  std::string_view lines = old;
  std::string raw;
  size_t next = 0;
  for (int number = 1; NextLine(lines, raw); ++number) {
    if (next >= sources.size() || sources[next].line != number) {
      content += raw + newline;
      continue;
    }
    const FormulaSource& source = sources[next];
    HEXP exp = origin.expressions[next++];
    if (live.count(exp) == 0) continue;  // deleted in the editor
    written.insert(exp);
    std::string name = ExpressionName(ec, exp), text = OneLine(ExpressionText(ec, exp));
    if (name == source.name && text == source.text) content += raw + newline;
    else content += output(RewrittenLine(source, name, text)) + newline;
  }
  for (const FormulaEntry& f : formulas) {
    if (written.count(f.exp) != 0) continue;
    content += output(f.name + " = " + OneLine(ExpressionText(ec, f.exp))) + newline;
  }
  return true;
}

bool ReplaceFile(const std::string& path, const std::string& content, const ReplaceRules& rules,
                 std::string& savedAs, std::string& error) {
  std::string old;
  bool exists = std::filesystem::exists(path);
  if (exists && !ReadAll(path, old, error)) return false;
  // The backup replaces whatever is at PATH.bak, a link included, rather
  // than writing through it.
  ReplaceRules backup = rules;
  backup.followLinks = false;
  backup.permissionsOf = path;
  if ((!exists || ReplaceFileContent(path + ".bak", old, backup, error)) &&
      ReplaceFileContent(path, content, rules, error))
    return true;
  SaveAside(path, content, savedAs);
  return false;
}

}  // namespace xevhost
