// The public headers are the API reference: every function, callback type and
// record they declare carries a comment, either on its own lines or on the
// comment right above it (a run of declarations may share one).
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool EndsComment(const std::string& line) {
  size_t end = line.find_last_not_of(' ');
  return end != std::string::npos && end >= 1 && line.compare(end - 1, 2, "*/") == 0;
}

// The declarations of a header that lack a comment, as "line: text".
std::vector<std::string> Undocumented(const std::string& path) {
  static const std::regex declaration(R"(^(XEV_API |typedef |XEV_DECLARE_FUNCTION\())");
  const std::vector<std::string> lines = Lines(path);
  std::vector<std::string> missing;
  bool documented = false;  // the run of declarations under way has a comment above it
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!std::regex_search(line, declaration)) {
      // A comment starts a documented run; a blank line or any other
      // unindented line (a macro, the end of a record) ends it. Indented lines
      // continue a comment or a declaration.
      if (EndsComment(line)) {
        documented = true;
      } else if (line.empty() || line[0] != ' ') {
        documented = false;
      }
      continue;
    }
    bool ownComment = line.find("/*") != std::string::npos;
    // A record's fields carry their own comments; the record needs one above.
    if (!documented && !ownComment) missing.push_back(std::to_string(i + 1) + ": " + line);
  }
  return missing;
}

TEST(ApiReference, EveryPublicDeclarationHasAComment) {
  for (const char* header : {"xev.h", "xevhost.h", "host_format.h", "xevtable.h"}) {
    const std::string path = std::string(XEV_SOURCE_DIR) + "/include/xev/" + header;
    ASSERT_FALSE(Lines(path).empty()) << path;
    for (const std::string& line : Undocumented(path)) ADD_FAILURE() << header << ":" << line;
  }
}

TEST(ApiReference, TheCheckNoticesAMissingComment) {
  const std::string path = testing::TempDir() + "/undocumented.h";
  {
    std::ofstream out(path);
    out << "/* Documented. */\nXEV_API int32_t XEV_CALL A(void);\nXEV_API int32_t XEV_CALL B(void);\n\n"
        << "XEV_API int32_t XEV_CALL C(int32_t x,\n                          int32_t y);\n"
        << "typedef int32_t(XEV_CALL* D)(void); /* documented */\n";
  }
  const std::vector<std::string> missing = Undocumented(path);
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0].substr(0, 2), "5:");
}

}  // namespace
