// Code page 65001 with real text: well-formed UTF-8 against broken
// sequences, character stepping, the string functions, names in formulas,
// rename and stored blocks. Expectations come from Python (its UTF-8
// decoder's first error, len, slicing, find, upper and lower), stored as
// literals; proper case follows the engine's own word rule and is by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "functions/call_helpers.h"
#include "platform/platform.h"
#include "tests/support/host.h"
#include "ui/ui_test_support.h"
#include "xev/xevhost.h"

using namespace xev_test;

namespace {

class Utf8Test : public FunctionTest {
 protected:
  void SetUp() override {
    FunctionTest::SetUp();
    ASSERT_EQ(1, HostSetCodePage(XEV_CP_UTF8));
  }
};

struct TextCase {
  XEVFunctionEntry fn;
  std::vector<Arg> args;
  std::string expected;
};

void ExpectTexts(std::vector<TextCase> cases) {
  for (TextCase& c : cases) EXPECT_EQ(CallText(c.fn, c.args), c.expected) << ArgsText(c.args);
}

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
      {"ab\xC3\xA9" "cd\x80" "e\xE4\xB8\xAD", {1, 1, 2, 1, 1, 1, 1, 3}},  // ASCII runs between
  };
  for (const auto& c : cases) {
    std::vector<int> steps;
    for (const char* p = c.text; *p != 0; p = xev::platform::CharNextA(p)) steps.push_back(HostCharLength(p, -1));
    EXPECT_EQ(c.steps, steps) << c.text;
    EXPECT_EQ(static_cast<int32_t>(c.steps.size()), HostStrCharCount(c.text)) << c.text;
    size_t offset = 0;
    for (size_t k = 0; k < c.steps.size(); offset += static_cast<size_t>(c.steps[k++])) {
      EXPECT_EQ(HostStrAdvance(c.text, static_cast<int32_t>(k)), c.text + offset) << c.text << " " << k;
    }
    EXPECT_EQ(HostStrAdvance(c.text, 99), c.text + offset) << c.text;
  }
  EXPECT_EQ(1, HostCharLength("\xF0\x9F\x98\x80", 3)) << "a character cut by the bytes available";
  EXPECT_EQ(0, HostCharLength("a", 0));
}

TEST_F(Utf8Test, StringFunctionsCountCodePoints) {
  const NumberValue null = NullNum();
  EXPECT_EQ(Text(CallNumber(FUNStrLength, {"Ελληνικά"})), "8");
  EXPECT_EQ(Text(CallNumber(FUNStrLength, {"a😀b👍"})), "4");
  EXPECT_EQ(Text(CallNumber(FUNStrLength, {"cafe\xCC\x81"})), "5");  // the accent combines but counts
  EXPECT_EQ(Text(CallNumber(FUNStrScan, {"Привет мир", "мир"})), "7");
  EXPECT_EQ(Text(CallNumber(FUNStrScan, {"中文字符", "字"})), "2");
  EXPECT_EQ(Text(CallNumber(FUNStrScan, {"a😀b👍", "b"})), "2");
  // Code point order, which is UTF-8 byte order.
  EXPECT_EQ(Text(CallNumber(FUNStrCompare, {"я", "ё"})), "-1");
  EXPECT_EQ(Text(CallNumber(FUNStrCompare, {"é", "z"})), "1");
  ExpectTexts({
      {FUNStrLeft, {"Ελληνικά", Num("2")}, "Ελ"},         {FUNStrRight, {"مرحبا بكم", Num("2")}, "كم"},
      {FUNStrMid, {"Привет мир", Num("1"), Num("3")}, "рив"}, {FUNStrMid, {"שלום", Num("1"), Num("9")}, "לום"},
      {FUNStrLeft, {"a😀b👍", Num("2")}, "a😀"},         {FUNStrRight, {"こんにちは", Num("2")}, "ちは"},
      {FUNStrMid, {"a😀b👍", Num("1"), null}, ""},
      {FUNStrPad, {"中文", Num("4")}, "中文  "},          {FUNStrPad, {"a😀b👍", Num("2")}, "a😀"},
      {FUNStrReplace, {"中文字符", Num("1"), Num("2"), "ab"}, "中ab符"},
      {FUNStrCase, {Num("1"), "α,βγ,δ"}, "βγ"},
      {FUNStrUpper, {"straße ﬁne"}, "STRASSE FINE"},    {FUNStrUpper, {"ἀρετή ΐ"}, "ἈΡΕΤΉ Ϊ́"},
      {FUNStrUpper, {"привет мир"}, "ПРИВЕТ МИР"},       {FUNStrLower, {"ΟΔΥΣΣΕΥΣ Σ"}, "οδυσσευς σ"},
      {FUNStrLower, {"İstanbul ПРИВЕТ"}, "i̇stanbul привет"},
      {FUNStrProper, {"ǆemal ΟΔΟΣ éte o'neil"}, "ǅemal Οδος Éte O'Neil"},
      {FUNStrProper, {"cafe\xCC\x81s 中文x"}, "Cafe\xCC\x81s 中文x"},
  });
  // Growing case: the result block is sized by the mapped text, not the argument.
  EXPECT_EQ(Call(FUNStrUpper, {"ΐΐΐΐΐΐΐΐΐΐ"}, 1).text, "Ϊ́Ϊ́Ϊ́Ϊ́Ϊ́Ϊ́Ϊ́Ϊ́Ϊ́Ϊ́");
  // Counts become bytes four to a character: ten emoji fit what StrLeft sizes.
  std::string ten;
  for (int i = 0; i < 10; ++i) ten += "😀";
  EXPECT_EQ(Call(FUNStrLeft, {ten, Num("10")}, 1).text, ten);
  // In place the host functions map what fits: the sharp s does, iota with
  // two accents (two bytes, six upper-cased) does not.
  char text[] = "straße ΐ";
  EXPECT_STREQ(HostStrUpper(text), "STRASSE ΐ");
  // Proper case in place maps a text beyond ASCII in full, the ASCII before it too.
  char proper[40];
  EXPECT_STREQ(HostStrProper(proper, "o'neil 3rd ÉCOLE mcdonald's"), "O'Neil 3rd École Mcdonald's");
}

struct ParseCase {
  const char* text;
  uint32_t code, pos, len;  // code 0: parses
};

TEST_F(Utf8Test, NamesInFormulasRenameAndBlocks) {
  ExprContext* ec = testhost::NewHostContext();
  for (const char* name : {"Цена", "数量", "naïve"}) ASSERT_EQ(testhost::AddDataItem(ec, name, XEV_TYPE_NUMBER), 1);
  // Spans are bytes and cover whole characters: Итог and Цена are 8 bytes each.
  const ParseCase cases[] = {
      {"Цена * 数量", 0, 0, 0},        {"Цена+数量-naïve", 0, 0, 0},
      {"StrLength('שלום')+Цена", 0, 0, 0},
      {"Итог€ + 1", XEV_ERR_UNKNOWNCHAR, 8, 3},  // a character that makes no name
      {"Цена + \xFF", XEV_ERR_UNKNOWNCHAR, 11, 1},
      {"x\xC0\xAF", XEV_ERR_UNKNOWNCHAR, 1, 1},        // overlong
      {"StrLength('ab\xE2\x82')", XEV_ERR_UNKNOWNCHAR, 13, 2},  // cut short inside a string
  };
  for (const ParseCase& c : cases) {
    ExprError error{};
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(ec, nullptr, c.text, nullptr, &error, &type);
    EXPECT_EQ(exp != nullptr, c.code == 0) << c.text;
    if (c.code != 0) {
      EXPECT_EQ(error.code * 10000 + error.pos * 100 + error.len, c.code * 10000 + c.pos * 100 + c.len) << c.text;
    }
  }
  const struct {
    const char* name;
    int32_t valid;
  } names[] = {{"Итог", 1}, {"名前_2", 1}, {"e\xCC\x81", 1}, {"a€", 0}, {"😀", 0}, {"x\xED\xA0\x80", 0}};
  for (const auto& n : names) EXPECT_EQ(XEVValidName(ec, n.name, nullptr), n.valid) << n.name;

  HEXP total = testhost::ParseOrFail(ec, "Цена * 数量", "Итог");
  HEXP twice = testhost::ParseOrFail(ec, "StrLeft('ü€', Итог())", "Дважды");
  XEVRenameExpressionItem(ec, XEV_ITEM_DATA, "Цена", "Précio");
  EXPECT_EQ(testhost::ExpressionText(ec, total), "Précio * 数量");
  std::string extended(static_cast<size_t>(XEVGetExtendedTextLength(ec, twice, 0)) + 1, '\0');
  XEVGetExtendedText(ec, twice, static_cast<int32_t>(extended.size()), extended.data(), 0);
  EXPECT_STREQ(extended.c_str(), "StrLeft('ü€', (Précio * 数量))");

  // A block keeps the bytes; loaded under the same code page it reads the same.
  std::vector<char> block(XEVGetECBlockSize(ec, 1));
  ASSERT_GT(XEVGetECBlock(ec, static_cast<int32_t>(block.size()), block.data()), 0);
  ExprContext* loaded = XEVCreateEC(0, testhost::ResolveToDummy, nullptr, testhost::kHostFlags);
  ASSERT_EQ(FUNDefineFunctions(loaded), 1);
  ASSERT_EQ(XEVSetECContents(loaded, static_cast<int32_t>(block.size()), block.data(), 1, nullptr), 1);
  EXPECT_EQ(testhost::ExpressionText(loaded, XEVHEXPFromName(loaded, "Дважды")), "StrLeft('ü€', Итог())");
  EXPECT_EQ(testhost::ItemNames(loaded, XEV_ITEM_DATA), testhost::ItemNames(ec, XEV_ITEM_DATA));
  XEVDestroyEC(loaded);
  XEVDestroyEC(ec);
}

// The edit control steps, selects and deletes by whole characters, and a
// character typed as its UTF-8 bytes goes in when its last byte has come.
class Utf8Edit : public uitest::KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    ASSERT_EQ(1, HostSetCodePage(XEV_CP_UTF8));
  }
  void TearDown() override {
    HostSetCodePage(XEV_CP_WESTERN);
    KitTest::TearDown();
  }
  static void Key(int32_t key, bool shift = false) { XEVUiKey(key, shift, false), XEVUiRunPending(); }
  static void Type(const char* bytes) { XEVUiType(bytes), XEVUiRunPending(); }
};

TEST_F(Utf8Edit, CaretSelectionAndTypingTakeWholeCharacters) {
  using namespace xev::ui;
  using Sel = std::pair<uint32_t, uint32_t>;
  HWND host = XEVUiCreateHostWindow("host", 0, 0, 400, 300);
  HWND edit = CreateWindowExA(0, "UxCtrlEdit", "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", WS_CHILD | WS_VISIBLE,
                              0, 0, 200, 100, host, 10, nullptr, nullptr);
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 5, 5);  // inside the Chinese character: snaps to its start
  EXPECT_EQ(uitest::SelectionOf(edit), Sel(3, 3));
  Key(VK_RIGHT);
  EXPECT_EQ(uitest::SelectionOf(edit), Sel(6, 6));
  Key(VK_RIGHT, true);
  EXPECT_EQ(uitest::SelectionOf(edit), Sel(6, 10));  // the emoji, four bytes
  Key(VK_BACK);
  Key(VK_LEFT);
  Key(VK_DELETE);
  EXPECT_EQ(uitest::TextOf(edit), "a\xC3\xA9");
  // Bytes arrive one by one; a broken start is dropped, the byte after it kept.
  Type("\xF0\x9F\x98");
  EXPECT_EQ(uitest::TextOf(edit), "a\xC3\xA9");
  Type("\x80\xE2\x82" "b\x80\xCE\xB1");
  EXPECT_EQ(uitest::TextOf(edit), "a\xC3\xA9\xF0\x9F\x98\x80" "b\xCE\xB1");
  DestroyWindow(host);
}

}  // namespace
