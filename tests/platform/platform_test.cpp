// The platform layer: string resources, module checks and the ANSI character
// functions under both code pages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library/exports.h"
#include "platform/platform.h"
#include "resources/string_table.h"

namespace {

using namespace xev::platform;
using xev::library::GetProcAddress;

std::string Load(uint32_t id, int32_t size = 256) {
  std::vector<char> buffer(static_cast<size_t>(size) + 1, 'x');
  int32_t length = LoadStringA(ModuleInstance(), id, buffer.data(), size);
  EXPECT_EQ(static_cast<size_t>(length), std::strlen(buffer.data()));
  return buffer.data();
}

TEST(StringTable, TextsAreLetterForLetter) {
  EXPECT_EQ("Formula Information", Load(104));
  EXPECT_EQ("ERR_SYNTAX: Incomplete or invalid formula", Load(109));  // no full stop
  EXPECT_EQ("ERR_PARMSTR : Parameter must be String input item, literal or function.", Load(119));
  EXPECT_EQ("ERR_RECURSIVE: Formula referrences parent Formula, recursion not supported.", Load(125));
  EXPECT_EQ("Are you sure you want to delete selected ", Load(204));  // a kind word follows
  EXPECT_EQ(" Warning", Load(226));                                   // follows an editor title
  EXPECT_EQ("S&how Set Text...", Load(240));
  EXPECT_EQ("FUNDateAddDay,1,2,1,0", Load(20000));
  EXPECT_EQ("FUNDateIFF,1,4,0,1,1,1", Load(20038));
}

TEST(StringTable, OnlyTheThreeBlocksHaveTexts) {
  for (uint32_t id : {100u, 137u, 201u, 246u, 20000u, 20045u}) EXPECT_NE(nullptr, xev::resources::FindString(id));
  for (uint32_t id : {99u, 138u, 200u, 247u, 19999u, 20046u}) EXPECT_EQ(nullptr, xev::resources::FindString(id));
}

TEST(LoadString, TruncatesRefusesAndTerminates) {
  EXPECT_EQ("Formula", Load(207, 8));  // "Formula Editor" cut to 7 bytes
  EXPECT_EQ("", Load(207, 1));
  EXPECT_EQ("", Load(150));

  char buffer[16] = "junk";
  EXPECT_EQ(0, LoadStringA(ModuleInstance(), 208, buffer, 0));
  EXPECT_EQ(0, LoadStringA(reinterpret_cast<HMODULE>(buffer), 208, buffer, 16));
  EXPECT_STREQ("", buffer);
  EXPECT_EQ(7, LoadStringA(nullptr, 208, buffer, 16));  // a static link shares the program's module
  EXPECT_EQ(nullptr, GetProcAddress(reinterpret_cast<HMODULE>(buffer), "FUNStrLeft"));
  EXPECT_EQ(nullptr, GetProcAddress(ModuleInstance(), nullptr));
  EXPECT_NE(nullptr, GetProcAddress(ModuleInstance(), "FUNStrLeft"));
  EXPECT_EQ(nullptr, GetProcAddress(ModuleInstance(), "StrLeft"));  // exports go by their full name
}

class AnsiTest : public ::testing::Test {
 protected:
  void TearDown() override { HostSetCodePage(XEV_CP_WESTERN); }
};

TEST_F(AnsiTest, ComparisonsGiveSignsOverUnsignedBytes) {
  EXPECT_LT(lstrcmpA("abc", "abd"), 0);
  EXPECT_GT(lstrcmpA("\xE9", "z"), 0);  // high bytes sort after ASCII
  EXPECT_LT(lstrcmpA("B", "a"), 0);     // case-sensitive
  EXPECT_LT(lstrcmpA(nullptr, "a"), 0);

  EXPECT_EQ(0, lstrcmpiA("Day", "DAY"));
  EXPECT_EQ(0, lstrcmpiA("\xC9T\xC9", "\xE9t\xE9"));
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
  EXPECT_EQ(s + 2, CharNextA(s + 1));
  EXPECT_EQ(s + 3, CharNextA(s + 3));  // the terminator is never stepped over
  EXPECT_TRUE(IsCharAlphaA('\xE9'));

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
