// The rules hosts share: the data item names of column labels, and the lines
// of a formulas file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xev/xev.h"

namespace {

std::vector<std::string> Names(const std::vector<const char*>& labels) {
  std::vector<char> names(labels.size() * XEV_NAME_SIZE, '?');
  if (XEVDataItemNames(labels.data(), static_cast<int32_t>(labels.size()), names.data()) != 1) return {"failed"};
  std::vector<std::string> out;
  for (size_t i = 0; i < labels.size(); ++i) out.emplace_back(names.data() + i * XEV_NAME_SIZE);
  return out;
}

TEST(HostRules, ColumnLabelsBecomeNamesFormulasCanWrite) {
  const std::string x70(70, 'x'), digits(70, '1'), x63(63, 'x'), x63e = x63 + "\xC3\xA9";
  const struct {
    uint32_t codePage;
    std::vector<const char*> labels;
    std::vector<std::string> names;
  } cases[] = {
      {XEV_CP_WESTERN,
       {"Order Date", "Unit Price ($)", "2nd Address", "Month", "days", "and", "", "Order Date", "Distinct", "ALL",
        " a..b\t", nullptr, "DAYSS", "Days2"},
       {"Order_Date", "Unit_Price_$", "_2nd_Address", "_Month", "_days", "_and", "Column7", "Order_Date_2",
        "_Distinct", "_ALL", "a_b", "Column12", "DAYSS", "Days2"}},
      // A suffix skips names that are taken, and cuts a long name to make room.
      {XEV_CP_WESTERN, {"a", "a_2", "a", x70.c_str(), x70.c_str(), digits.c_str()},
       {"a", "a_2", "a_3", std::string(64, 'x'), std::string(62, 'x') + "_2", "_" + std::string(63, '1')}},
      // A label given again goes on from the suffix its last copy took.
      {XEV_CP_WESTERN, {"a", "a", "a_3", "a", "a_2", "a"}, {"a", "a_2", "a_3", "a_4", "a_2_2", "a_5"}},
      // Only what the name check takes stays: letters of the code page, not its symbols.
      {XEV_CP_WESTERN, {"Price \xA9", "Gr\xF6\xDF" "e", "a\xD7" "b", "\x80uro"},
       {"Price", "Gr\xF6\xDF" "e", "a_b", "uro"}},
      {XEV_CP_UTF8, {"Gr\xC3\xB6\xC3\x9F" "e", "a\xE2\x82\xAC" "b", "a\xFF" "c", x63e.c_str()},
       {"Gr\xC3\xB6\xC3\x9F" "e", "a_b", "a_c", x63}},
      {XEV_CP_SHIFTJIS, {"\x89\xBF\x8A\x69", "a\x89", "\xB6\xC5"}, {"\x89\xBF\x8A\x69", "a", "\xB6\xC5"}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(HostSetCodePage(c.codePage), 1);
    const std::vector<std::string> names = Names(c.labels);
    EXPECT_EQ(names, c.names) << c.codePage;
    for (const std::string& name : names) EXPECT_EQ(XEVValidName(nullptr, name.c_str(), nullptr), 1) << name;
  }
  HostSetCodePage(XEV_CP_WESTERN);
  const std::vector<std::string> many = Names(std::vector<const char*>(20000, "Total"));
  EXPECT_EQ(many[1], "Total_2");
  EXPECT_EQ(many.back(), "Total_20000");
  HostFailAllocationAfter(1);
  EXPECT_EQ(Names({"a"}), std::vector<std::string>{"failed"});
  HostFailAllocationAfter(0);
  EXPECT_EQ(XEVDataItemNames(nullptr, 0, nullptr), 0);
}

// Each line as kind[name|text]@column problem+bytes taken; a text given whole
// is one definition, and the result (1 or 0) stands for the bytes.
std::string Lines(const std::string& text, bool whole) {
  std::string out;
  XEVFormulaLine line;
  for (size_t at = 0; at < text.size() || (whole && out.empty());) {
    const char* start = text.data() + at;
    const auto length = static_cast<int32_t>(text.size() - at);
    const int32_t taken = whole ? XEVReadDefinition(start, length, &line) : XEVReadFormulaLine(start, length, &line);
    out += std::to_string(line.kind);
    if (line.kind == XEV_LINE_DEFINITION) {
      out += "[" + std::string(start + line.nameStart, line.nameLength) + "|" +
             std::string(start + line.textStart, line.textLength) + "]";
    }
    if (line.problem != nullptr) out += "@" + std::to_string(line.column) + " " + line.problem;
    out += "+" + std::to_string(taken) + " ";
    at += whole ? text.size() : static_cast<size_t>(taken);
  }
  return out;
}

TEST(HostRules, FormulasFilesSplitIntoLinesAndDefinitions) {
  const struct {
    std::string text;
    bool whole;
    std::string lines;
  } cases[] = {
      {"a = 1\r\nb=2\rc =\t3 \n", false, "2[a|1]+7 2[b|2]+4 2[c|3]+7 "},
      {"  # a = 1\n\t \n\n=\r", false, "1+10 0+3 0+1 4@0 missing formula name before '='+2 "},
      {"x\n  = 1\na =  \t", false,
       "3@0 expected 'name = formula'+2 4@2 missing formula name before '='+6 5@6 missing formula text after '='+6 "},
      {"a = b = c", false, "2[a|b = c]+9 "},
      {std::string("a\0b = 1\r", 8), false, std::string("2[a\0b|1]+8 ", 11)},
      {"a = 1\n+ 2 ", true, "2[a|1\n+ 2]+1 "},
      {"# a = 1", true, "2[# a|1]+1 "},
      {"", true, "3@0 expected 'name = formula'+0 "},
  };
  for (const auto& c : cases) EXPECT_EQ(Lines(c.text, c.whole), c.lines) << c.text;
  XEVFormulaLine line;
  EXPECT_EQ(XEVReadFormulaLine("", 0, &line), 0);
  EXPECT_EQ(XEVReadFormulaLine(nullptr, 1, &line) + XEVReadDefinition("a=1", -1, &line), -2);
}

}  // namespace
