// The platform layer: string resources, module checks and the ANSI character
// functions under both code pages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "resources/string_table.h"

namespace {

using namespace xev::platform;

std::string Load(uint32_t id, int32_t size = 256) {
  std::vector<char> buffer(static_cast<size_t>(size) + 1, 'x');
  int32_t length = LoadStringA(ModuleInstance(), id, buffer.data(), size);
  EXPECT_EQ(static_cast<size_t>(length), std::strlen(buffer.data()));
  return buffer.data();
}

TEST(StringTable, TextsAreLetterForLetter) {
  EXPECT_EQ("ERR_TYPENUM: Input item, constant, or function must be Number data type.", Load(100));
  EXPECT_EQ("Formula Information", Load(104));
  EXPECT_EQ("ERR_SYNTAX: Incomplete or invalid formula", Load(109));
  EXPECT_EQ("ERR_PARMSTR : Parameter must be String input item, literal or function.", Load(119));
  EXPECT_EQ("ERR_TOCOMPLEX: This Formula too complex to evaluate.", Load(122));
  EXPECT_EQ("ERR_RECURSIVE: Formula referrences parent Formula, recursion not supported.", Load(125));
  EXPECT_EQ("ERR_SUBCLASS: Parameter variable must be of expected type.", Load(137));
  EXPECT_EQ("[ New Formula ]", Load(201));
  EXPECT_EQ("Are you sure you want to delete selected ", Load(204));
  EXPECT_EQ("Formula", Load(208));
  EXPECT_EQ("Text evaluates as a Range instead of a Formula, save anyway?", Load(220));
  EXPECT_EQ(" Warning", Load(226));
  EXPECT_EQ("Keyword", Load(231));
  EXPECT_EQ("S&how Set Text...", Load(240));
  EXPECT_EQ("List Data Item &Values", Load(246));
  EXPECT_EQ("FUNDateAddDay,1,2,1,0", Load(20000));
  EXPECT_EQ("FUNDateQuarter,0,1,1", Load(20045));
}

TEST(StringTable, EveryIdInItsBlockHasTextAndNoOtherDoes) {
  for (uint32_t id = 100; id <= 137; ++id) EXPECT_NE(nullptr, xev::resources::FindString(id)) << id;
  for (uint32_t id = 201; id <= 246; ++id) EXPECT_NE(nullptr, xev::resources::FindString(id)) << id;
  for (uint32_t id : {0u, 99u, 138u, 200u, 247u, 19999u, 20046u, 0xFFFFFFFFu}) {
    EXPECT_EQ(nullptr, xev::resources::FindString(id)) << id;
  }
}

// Each function row must read back the way the registry reads it: a FUN name,
// a type, a count, and exactly that many types, each a known DataType.
TEST(StringTable, FunctionRowsAreWellFormed) {
  for (uint32_t id = 20000; id <= 20045; ++id) {
    std::string row = Load(id, 128);
    std::vector<std::string> fields;
    size_t from = 0;
    for (size_t comma; (comma = row.find(',', from)) != std::string::npos; from = comma + 1) {
      fields.push_back(row.substr(from, comma - from));
    }
    fields.push_back(row.substr(from));
    ASSERT_GE(fields.size(), 3u) << row;
    EXPECT_EQ(0u, fields[0].rfind("FUN", 0)) << row;
    int count = std::atoi(fields[2].c_str());
    EXPECT_LE(count, 7) << row;
    EXPECT_EQ(fields.size(), static_cast<size_t>(3 + count)) << row;
    for (size_t i = 1; i < fields.size(); ++i) {
      if (i == 2) continue;
      EXPECT_TRUE(fields[i] == "0" || fields[i] == "1" || fields[i] == "2") << row;
    }
  }
  EXPECT_EQ("FUNDateConstruct,1,6,0,0,0,0,0,0", Load(20010));
  EXPECT_EQ("FUNDateIFF,1,4,0,1,1,1", Load(20038));
}

TEST(LoadString, TruncatesRefusesAndTerminates) {
  EXPECT_EQ("Formula", Load(207, 8));  // "Formula Editor" cut to 7 bytes
  EXPECT_EQ("", Load(207, 1));
  EXPECT_EQ("", Load(150));

  char buffer[16] = "junk";
  EXPECT_EQ(0, LoadStringA(ModuleInstance(), 208, buffer, 0));
  EXPECT_EQ(0, LoadStringA(ModuleInstance(), 208, nullptr, 16));
  EXPECT_EQ(0, LoadStringA(reinterpret_cast<HMODULE>(buffer), 208, buffer, 16));
  EXPECT_STREQ("", buffer);
  EXPECT_EQ(7, LoadStringA(nullptr, 208, buffer, 16));  // a static link shares the program's module
  EXPECT_EQ(nullptr, GetProcAddress(reinterpret_cast<HMODULE>(buffer), "FUNStrLeft"));
  EXPECT_EQ(nullptr, GetProcAddress(ModuleInstance(), nullptr));
  EXPECT_NE(nullptr, GetProcAddress(ModuleInstance(), "FUNStrLeft"));
  EXPECT_EQ(nullptr, GetProcAddress(ModuleInstance(), "StrLeft"));  // exports go by their full name
  EXPECT_NE(nullptr, ModuleInstance());
}

class AnsiTest : public ::testing::Test {
 protected:
  void TearDown() override { HostSetCodePage(XEV_CP_WESTERN); }
};

TEST_F(AnsiTest, CopyConcatenateAndLength) {
  char buffer[16];
  EXPECT_EQ(buffer, lstrcpyA(buffer, "ab"));
  EXPECT_STREQ("abcd", lstrcatA(buffer, "cd"));
  EXPECT_EQ(4, lstrlenA(buffer));
  EXPECT_EQ(0, lstrlenA(nullptr));
  EXPECT_STREQ("", lstrcpyA(buffer, nullptr));
  EXPECT_EQ(nullptr, lstrcpyA(nullptr, "x"));
}

TEST_F(AnsiTest, ComparisonsGiveSignsOverUnsignedBytes) {
  EXPECT_EQ(0, lstrcmpA("abc", "abc"));
  EXPECT_LT(lstrcmpA("abc", "abd"), 0);
  EXPECT_GT(lstrcmpA("abc", "ab"), 0);
  EXPECT_GT(lstrcmpA("\xE9", "z"), 0);  // high bytes sort after ASCII
  EXPECT_LT(lstrcmpA("B", "a"), 0);     // case-sensitive
  EXPECT_LT(lstrcmpA(nullptr, "a"), 0);
  EXPECT_EQ(0, lstrcmpA(nullptr, nullptr));

  EXPECT_EQ(0, lstrcmpiA("Day", "DAY"));
  EXPECT_EQ(0, lstrcmpiA("\xC9T\xC9", "\xE9t\xE9"));
  EXPECT_LT(lstrcmpiA("apple", "BANANA"), 0);
  EXPECT_GT(lstrcmpiA("abc", "AB"), 0);

  HostSetCodePage(XEV_CP_SHIFTJIS);
  // Trail bytes 0x41 and 0x61 are different katakana, not one letter in two cases.
  EXPECT_NE(0, lstrcmpiA("\x83\x41", "\x83\x61"));
  EXPECT_EQ(0, lstrcmpiA("\x82\x60x", "\x82\x81X"));  // full-width A and a
  // A double-byte character orders by its lead byte against single bytes.
  EXPECT_LT(lstrcmpiA("\x83\x41", "\xB1"), 0);
  EXPECT_GT(lstrcmpiA("\x83\x41", "z"), 0);
}

TEST_F(AnsiTest, CharacterStepsFoldsAndClasses) {
  const char* s = "a\x93\xFA";
  EXPECT_EQ(s + 1, CharNextA(s));
  EXPECT_EQ(s + 2, CharNextA(s + 1));
  EXPECT_EQ(s + 3, CharNextA(s + 3));  // the terminator is never stepped over
  EXPECT_TRUE(IsCharAlphaA('q'));
  EXPECT_TRUE(IsCharAlphaA('\xE9'));
  EXPECT_FALSE(IsCharAlphaA('1'));

  char word[] = "second\xE9";
  EXPECT_EQ(4u, CharUpperBuffA(word, 4));
  EXPECT_STREQ("SECOnd\xE9", word);

  HostSetCodePage(XEV_CP_SHIFTJIS);
  EXPECT_EQ(s + 3, CharNextA(s + 1));
  const char* lone = "\x93";
  EXPECT_EQ(lone + 1, CharNextA(lone));
  EXPECT_FALSE(IsCharAlphaA('\xE9'));
  EXPECT_TRUE(IsCharAlphaA('\xB1'));

  char mixed[] = "\x83\x61" "a\x83";
  EXPECT_EQ(4u, CharUpperBuffA(mixed, 4));
  EXPECT_STREQ("\x83\x61" "A\x83", mixed);  // neither the trail nor the cut lead byte changes
}

}  // namespace
