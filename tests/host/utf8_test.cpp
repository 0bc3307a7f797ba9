// Code page 65001: well-formed UTF-8 against broken sequences, and the
// character stepping every walk over a text relies on. Expectations come
// from Python's UTF-8 decoder (the offset and length of its first error).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "xev/xevhost.h"

namespace {

class Utf8Test : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(1, HostSetCodePage(XEV_CP_UTF8)); }
  void TearDown() override { HostSetCodePage(XEV_CP_WESTERN); }
};

struct CheckCase {
  const char* text;
  int32_t ok, offset, length;
};

TEST(Utf8Check, FindsTheFirstBadSequence) {
  const CheckCase cases[] = {
      {"caf\xC3\xA9 \xCE\xB1\xCE\xB2 \xD0\xB6 \xD8\xB9 \xD7\xA9 \xE4\xB8\xAD \xE3\x81\x82 \xF0\x9F\x98\x80", 1, 0, 0},
      {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", 1, 0, 0},  // U+FFFF and U+10FFFF
      {"\xC0\xAF", 0, 0, 1},                      // overlong "/"
      {"\xE0\x9F\x80", 0, 0, 1},                  // overlong three-byte form
      {"\xED\xA0\x80", 0, 0, 1},                  // a surrogate
      {"\xF4\x90\x80\x80", 0, 0, 1},              // above U+10FFFF
      {"\xF5", 0, 0, 1},
      {"x\x80y", 0, 1, 1},                        // stray continuation byte
      {"ab\xE2\x82", 0, 2, 2},                    // cut short by the end
      {"\xE2\x82" "A", 0, 0, 2},                  // cut short by an ASCII byte
      {"\xF0\x9F\x98", 0, 0, 3},
  };
  for (const CheckCase& c : cases) {
    int32_t offset = -1, length = -1;
    EXPECT_EQ(c.ok, HostCheckText(c.text, -1, &offset, &length)) << c.text;
    EXPECT_EQ(c.offset, offset) << c.text;
    EXPECT_EQ(c.length, length) << c.text;
  }
  // A length stops the check: the cut-off emoji is bad, the text before it good.
  EXPECT_EQ(0, HostCheckText("\xF0\x9F\x98\x80", 2, nullptr, nullptr));
  EXPECT_EQ(1, HostCheckText("ab\xF0\x9F\x98\x80", 2, nullptr, nullptr));
}

TEST_F(Utf8Test, StepsOverWholeCharacters) {
  EXPECT_EQ(XEV_CP_UTF8, HostGetCodePage());
  EXPECT_EQ(0, HostIsDbcs());
  EXPECT_EQ(0, HostIsLeadByte(0xC3));
  struct {
    const char* text;
    std::vector<int> steps;
  } cases[] = {
      {"a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", {1, 2, 3, 4}},
      {"e\xCC\x81", {1, 2}},                      // a combining accent is a character of its own
      {"\xE2\x82" "b\x80", {1, 1, 1, 1}},         // broken bytes one by one, the good one kept
      {"\xED\xA0\x80\xC0\xAF", {1, 1, 1, 1, 1}},
  };
  for (const auto& c : cases) {
    std::vector<int> steps;
    for (const char* p = c.text; *p != 0; p = xev::platform::CharNextA(p)) steps.push_back(HostCharLength(p, -1));
    EXPECT_EQ(c.steps, steps) << c.text;
    EXPECT_EQ(static_cast<int32_t>(c.steps.size()), HostStrCharCount(c.text)) << c.text;
  }
  EXPECT_EQ(1, HostCharLength("\xF0\x9F\x98\x80", 3)) << "a character cut by the bytes available";
  EXPECT_EQ(0, HostCharLength("a", 0));
}

}  // namespace
