// Loading stored blocks: section bounds, conversions of the old versions,
// deferred formulas and damaged input.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "oom/sweep.h"
#include "persist/block_loader.h"
#include "persist/block_test_support.h"
#include "persist/load_fix.h"

namespace {

using namespace blocktest;

constexpr size_t kHeader = 21;

// A current-version block up to its operator names, all empty.
BlockBuilder Current() { return BlockBuilder().Byte(3).OperatorNames(); }

std::vector<std::pair<std::string, ExprError>>& Reported() {
  static std::vector<std::pair<std::string, ExprError>> reported;
  return reported;
}

int32_t XEV_CALL RecordLoadError(ExprContext*, const char* text, ExprError* error) {
  Reported().emplace_back(text, *error);
  return 0;
}

class BlockLoader : public oom::NoLeakTest {
 protected:
  void SetUp() override { Reported().clear(), NoLeakTest::SetUp(); }
  void TearDown() override {
    source_.reset();
    NoLeakTest::TearDown();
  }
  // A host's context with three data items and formulas of every kind,
  // written as a block.
  Bytes RealisticBlock() {
    source_ = HostContext();
    for (ExpItem item : {DataItem("Amount", "GetAmount", XEV_TYPE_NUMBER), DataItem("Name", "GetName", XEV_TYPE_STRING),
                         DataItem("Due", "GetDue", XEV_TYPE_DATETIME)})
      EXPECT_EQ(XEVAddExpressionItem(source_.get(), &item), 1);
    XEVSetOperatorCallback(source_.get(), 0, 2, "StringPlus");
    const char* formulas[][2] = {{"Amount * 2 + 1", "Double"}, {"StrLeft(Name, 3) || '-'", "Short"},
                                 {"Due + 3 DAYS", "Later"},    {"Double() / 4", "Quarter"},
                                 {"1, 2, Amount", "Choices"},  {"Due AND Due + 1 DAY", "Window"},
                                 {"1/2/2001", "Start"}};
    for (auto& [text, name] : formulas) {
      ExprError error{};
      uint16_t type = 0;
      EXPECT_NE(XEVParseString(source_.get(), text, name, &error, &type), nullptr) << text << ": " << error.code;
    }
    return WriteBlock(source_.get());
  }
  static Ec HostContext() {
    Ec ec = NewContext();
    FUNDefineFunctions(ec.get());
    return ec;
  }
  static Bytes FormulaBlock(uint8_t version, const std::vector<std::pair<std::string, std::string>>& formulas) {
    BlockBuilder block;
    block.Byte(version).OperatorNames();
    if (version >= 2) block.U16(0xFA).U16(1).Item85("Amount", "GetAmount");
    block.U16(0xFC).U16(static_cast<uint16_t>(formulas.size()));
    for (auto& [text, name] : formulas) block.Formula(text, name);
    return block.Build();
  }
  static ExpItem StoredItem(ExprContext* ec, const char* name) {
    ExpItem item{};
    EXPECT_EQ(XEVGetExpressionVariable(ec, &item, name), 1) << name;
    return item;
  }
  Ec source_;
};

TEST_F(BlockLoader, HeaderAndSectionBounds) {
  // The last name may end the block; a section count may not. The oldest
  // version has no version byte.
  const std::tuple<const char*, Bytes, int32_t> cases[] = {
      {"names only", Current().Build(), 1},
      {"oldest, no version byte", Bytes(20, 0), 1},
      {"data item count ending the block", Current().U16(0xFA).U16(0).Build(), 0},
      {"formula count ending the block", Current().U16(0xFC).U16(0).Build(), 0},
      {"one data item ending the block", Current().U16(0xFA).U16(1).Item85("A", "GetA").Build(), 1},
      {"version 4", Bytes{4, 0, 0}, 0}, {"version 0x7F", Bytes{0x7F, 0, 0}, 0}, {"version 0xFF", Bytes{0xFF, 0, 0}, 0}};
  for (const auto& [name, block, loads] : cases) EXPECT_EQ(Load(NewContext().get(), block), loads) << name;

  std::vector<std::string> names(20, "");
  names[0] = "AddNumbers", names[19] = "KeywordConcat";
  Ec named = NewContext();
  ResolvedNames().clear();
  EXPECT_EQ(Load(named.get(), BlockBuilder().Byte(3).OperatorNames(names).Build()), 1);
  EXPECT_STREQ(named->operators[kOpPlus].names[0], "AddNumbers");
  EXPECT_NE(named->operators[kOpPlus].bound[0], 0);
  EXPECT_STREQ(named->operators[kOpConcat].names[3], "KeywordConcat");
  EXPECT_EQ(ResolvedNames(), (std::vector<std::string>{"AddNumbers", "KeywordConcat"}));
}

TEST_F(BlockLoader, UnresolvedNamesStopTheLoad) {
  std::vector<std::string> names(20, "");
  names[1] = "UnboundMinus";
  Ec ec = NewContext();
  EXPECT_EQ(Load(ec.get(), BlockBuilder().Byte(3).OperatorNames(names).U16(0xFA).U16(1).Item85("A", "GetA").Build()), 0);
  EXPECT_EQ(ec->operators[kOpPlus].names[1], nullptr) << "the refused name is dropped";
  EXPECT_EQ(ec->dataItems, nullptr) << "nothing after it is read";

  // A data item whose binding name is refused stays, unbound.
  Ec items = NewContext();
  EXPECT_EQ(Load(items.get(), Current().U16(0xFA).U16(2).Item85("A", "UnboundA").Item85("B", "GetB").Build()), 0);
  EXPECT_EQ(+StoredItem(items.get(), "A").boundValue, 0);
  EXPECT_EQ(XEVGetExpressionVariable(items.get(), nullptr, "B"), 0);
}

// Version 1 images are widened field by field; what they lack stays zero and
// stored addresses are never taken over.
TEST_F(BlockLoader, VersionOneImagesAreWidened) {
  Ec ec = NewContext();
  ASSERT_EQ(Load(ec.get(), BlockBuilder().Byte(1).OperatorNames().U16(0xFA).U16(1)
                               .Item60("Amount", "GetAmount", XEV_TYPE_STRING, 0x12345678, 3, 4, 5, 0x0010)
                               .Build()), 1);
  Bytes written = WriteBlock(ec.get());
  ASSERT_EQ(written.size(), kHeader + 4 + 85 + sizeof "GetAmount");
  Bytes expected = BlockBuilder().U16(XEV_ITEM_DATA).U16(XEV_TYPE_STRING).U32(0).U32(0).Field("Amount", 65)
                       .U16(3).U16(4).U16(5).U16(0x10).Build();
  EXPECT_EQ(Bytes(written.begin() + 25, written.begin() + 110), expected);
  EXPECT_NE(+StoredItem(ec.get(), "Amount").boundValue, 0x12345678);
}

TEST_F(BlockLoader, AverageSubclassIsGivenToOldItems) {
  ExpItem average{};
  average.kind = XEV_ITEM_FUNCTION, average.boundValue = 1, average.paramCount = 1;
  average.params[0] = ExpParam{1, XEV_TYPE_NUMBER, 5};
  std::strcpy(average.name, "ReportAverage");
  for (uint8_t version : {uint8_t{2}, uint8_t{3}}) {
    Ec ec = NewContext();
    ASSERT_EQ(XEVAddExpressionItem(ec.get(), &average), 1);
    ASSERT_EQ(Load(ec.get(), BlockBuilder().Byte(version).OperatorNames().U16(0xFA).U16(2)
                                 .Item85("A", "GetA", 0, 2).Item85("B", "GetB").Build()), 1);
    EXPECT_EQ(+StoredItem(ec.get(), "A").subclass, version == 2 ? 5 : 2) << int(version);
    EXPECT_EQ(+StoredItem(ec.get(), "B").subclass, version == 2 ? 5 : 0) << int(version);
  }
}

TEST_F(BlockLoader, RoundTripIsByteExact) {
  Bytes block = RealisticBlock();
  Ec loaded = HostContext();
  ASSERT_EQ(Load(loaded.get(), block), 1);
  EXPECT_EQ(XEVGetExpressionCount(loaded.get()), 7);
  EXPECT_EQ(WriteBlock(loaded.get()), block);

  // Without the formulas, the names and data items still load whole.
  Ec itemsOnly = HostContext();
  ASSERT_EQ(Load(itemsOnly.get(), block, 0), 1);
  EXPECT_EQ(XEVGetExpressionCount(itemsOnly.get()), 0);
  EXPECT_NE(+StoredItem(itemsOnly.get(), "Due").boundValue, 0);
}

// A formula calling one stored after it waits for it, and the formulas end in
// block order.
TEST_F(BlockLoader, ForwardReferencesAreDeferred) {
  Ec ec = HostContext();
  ASSERT_EQ(Load(ec.get(), FormulaBlock(3, {{"B() + C()", "A"}, {"C() * 2", "B"}, {"Amount + 1", "C"}, {"A() - 1", "D"}}),
                 1, RecordLoadError), 1);
  ASSERT_EQ(XEVGetExpressionCount(ec.get()), 4);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(ExpressionName(ec.get(), i), std::string(1, char('A' + i)));
  EXPECT_EQ(ExpressionText(ec.get(), 0), "B() + C()");
  EXPECT_TRUE(Reported().empty());
}

// Loads that stop keep the formulas before the stop. Old versions report the
// first failure; current ones report formulas that only wait for each other,
// and stop silently when the editor gives nothing back (the user cancelled).
TEST_F(BlockLoader, StoppedLoadsKeepWhatCameBefore) {
  struct Case {
    uint8_t version;
    const char* failing;
    const char* reported;
  } cases[] = {{1, "Later() + 1", "Later() + 1"}, {2, "Pong() + 1", "Pong() + 1"}, {3, "Nowhere(1)", nullptr}};
  for (const Case& c : cases) {
    Reported().clear();
    Ec ec = HostContext();
    EXPECT_EQ(Load(ec.get(), FormulaBlock(c.version, {{"1 + 1", "Two"}, {c.failing, "Ping"}, {"Ping() + 1", "Pong"},
                                                      {"Self() + 1", "Self"}, {"2", "Later"}}),
                   1, RecordLoadError), 0);
    EXPECT_EQ(ExpressionName(ec.get(), 0), "Two");
    EXPECT_EQ(XEVGetExpressionCount(ec.get()), c.version == 2 ? 2 : 1) << "version 2 also loads Later";
    ASSERT_EQ(Reported().size(), c.reported ? 1u : 0u) << int(c.version);
    if (c.reported == nullptr) continue;
    EXPECT_EQ(std::tuple(Reported()[0].first, Reported()[0].second.code), std::tuple(c.reported, 103u));
  }
  EXPECT_EQ(std::tuple(xev::persist::CurrentLoadFix().active, xev::persist::CurrentLoadFix().records),
            std::tuple(false, nullptr));
}

TEST_F(BlockLoader, KeywordTokensGetAPrefix) {
  auto prefixed = [](const std::string& text) {
    std::string out(2 * text.size() + 1, '\0');
    EXPECT_TRUE(xev::persist::PrefixKeywordTokens(out.data(), text.c_str()));
    return std::string(out.c_str());
  };
  EXPECT_EQ(prefixed("Years+ minute -(SECONDS)"), "_Years+ _minute -(_SECONDS)");
  EXPECT_EQ(prefixed("Dayss, Mass, Holiday"), "Dayss, Mass, Holiday");
  EXPECT_EQ(prefixed("\"day\" || day  "), "\"day\" || _day  ");
}

TEST_F(BlockLoader, LoadNameIsInBlockFindsTheCalledName) {
  const char records[] = "1\0First\0First() + 2\0Second\0";
  int32_t length = sizeof records - 1;
  ExprError second{103, 0, 9}, partial{103, 0, 4}, outside{103, 200, 9};
  EXPECT_EQ(xev::persist::LoadNameIsInBlock("Second  (1)", records, length, &second, 2), 1);
  EXPECT_EQ(xev::persist::LoadNameIsInBlock("Second  (1)", records, length, &second, 1), 0);
  EXPECT_EQ(xev::persist::LoadNameIsInBlock("Second  (1)", records, length, &partial, 2), 0);
  EXPECT_EQ(xev::persist::LoadNameIsInBlock("Second  (1)", records, length, &outside, 2), 0);
  EXPECT_EQ(xev::persist::LoadNameIsInBlock("Zed(", records, length, &partial, 50), 0) << "stops at the end";
}

// A cut block fails, except where the cut leaves no section marker behind:
// right after the names or after the last data item, with or without one
// more byte. Loaded formulas only grow with the length.
TEST_F(BlockLoader, EveryTruncationLoadsAPrefix) {
  Bytes block = RealisticBlock();
  size_t namesEnd = kHeader + std::strlen("StringPlus");
  size_t itemsEnd = namesEnd + 4 + 3 * 85 + sizeof "GetAmount" + sizeof "GetName" + sizeof "GetDue";
  ASSERT_EQ(block[itemsEnd], 0xFC);
  int32_t lastCount = 0;
  for (size_t length = 1; length < block.size(); ++length) {
    Ec ec = HostContext();
    int32_t result = Load(ec.get(), Bytes(block.begin(), block.begin() + static_cast<long>(length)));
    bool whole = length == namesEnd || length == namesEnd + 1 || length == itemsEnd || length == itemsEnd + 1;
    EXPECT_EQ(result, whole ? 1 : 0) << "cut at " << length;
    EXPECT_GE(XEVGetExpressionCount(ec.get()), lastCount) << "cut at " << length;
    lastCount = XEVGetExpressionCount(ec.get());
    EXPECT_LE(WriteBlock(ec.get()).size(), block.size()) << "empty item slots included";
  }
  EXPECT_EQ(lastCount, 6);
}

TEST_F(BlockLoader, CountsLargerThanTheData) {
  Ec ec = HostContext();
  EXPECT_EQ(Load(ec.get(), Current().U16(0xFA).U16(30000).Item85("A", "GetA").Build()), 0);
  // The slot added for the missing record stays empty but counted.
  Bytes written = WriteBlock(ec.get());
  EXPECT_EQ(std::tuple(written[kHeader + 2], written.size()), std::tuple(2, kHeader + 4 + 85 + sizeof "GetA"));

  Ec formulas = HostContext();
  EXPECT_EQ(Load(formulas.get(), Current().U16(0xFC).U16(0x7FFF).Formula("1", "One").Build()), 0);
  EXPECT_EQ(XEVGetExpressionCount(formulas.get()), 1);
}

// Hex bytes ("00*34" repeats one) and quoted texts without their terminator;
// "#" starts a comment.
Bytes ReadFixture(const std::string& name) {
  std::ifstream in(std::string(XEV_TEST_DATA_DIR) + "/blocks/" + name);
  EXPECT_TRUE(in.good()) << name;
  Bytes bytes;
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    for (size_t at = 0; at < line.size();) {
      if (line[at] == '"') {
        size_t end = line.find('"', at + 1);
        bytes.insert(bytes.end(), line.begin() + static_cast<long>(at) + 1, line.begin() + static_cast<long>(end));
        at = end + 1;
      } else if (std::isxdigit(static_cast<unsigned char>(line[at]))) {
        auto byte = static_cast<uint8_t>(std::stoi(line.substr(at, 2), nullptr, 16));
        size_t digits = 0, repeat = line[at + 2] == '*' ? std::stoul(line.substr(at + 3), &digits) : 1;
        bytes.insert(bytes.end(), repeat, byte);
        at += 2 + (digits > 0 ? digits + 1 : 0);
      } else {
        ++at;
      }
    }
  }
  return bytes;
}

TEST_F(BlockLoader, VersionFixtures) {
  struct Case {
    const char* file;
    std::vector<std::string> names, texts, items;
  } cases[] = {
      {"version0.blk.txt", {"Total", "_Months", "Label"}, {"Amount * 2", "_Month + Total()", "StrLeft('Months', 3)"},
       {"Amount", "_Month"}},
      {"version1.blk.txt", {"Total", "Tax"}, {"Amount * Rate", "Total() * 0.2"}, {"Amount", "Rate"}},
      {"version2.blk.txt", {"Net", "Gross", "Tax"}, {"Gross() - Tax()", "Amount * Rate", "Gross() * 0.2"},
       {"Amount", "Rate"}},
  };
  for (const Case& c : cases) {
    Ec ec = HostContext();
    ASSERT_EQ(Load(ec.get(), ReadFixture(c.file), 1, RecordLoadError), 1) << c.file;
    ASSERT_EQ(XEVGetExpressionCount(ec.get()), static_cast<int32_t>(c.names.size())) << c.file;
    for (size_t i = 0; i < c.names.size(); ++i) {
      EXPECT_EQ(ExpressionName(ec.get(), int32_t(i)) + " = " + ExpressionText(ec.get(), int32_t(i)),
                c.names[i] + " = " + c.texts[i]);
    }
    for (const std::string& item : c.items) EXPECT_NE(+StoredItem(ec.get(), item.c_str()).boundValue, 0) << item;
  }
}

}  // namespace
