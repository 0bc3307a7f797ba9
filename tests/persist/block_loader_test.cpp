// Loading stored blocks: the reading rules and bound tests of every section,
// the conversions of the old versions, deferred formulas, and damaged input.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "persist/block_loader.h"
#include "persist/block_test_support.h"
#include "persist/load_fix.h"

namespace {

using namespace blocktest;

constexpr size_t kHeader = 21;

struct ReportedError {
  std::string text;
  ExprError error;
};

std::vector<ReportedError>& Reported() {
  static std::vector<ReportedError> reported;
  return reported;
}

int32_t XEV_CALL RecordLoadError(ExprContext*, const char* text, ExprError* error) {
  Reported().push_back({text, *error});
  return 0;
}

class BlockLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    Reported().clear();
    ResolvedNames().clear();
    liveAtStart_ = HostLiveBlockCount();
  }
  void TearDown() override {
    HostFailAllocationAfter(0);
    EXPECT_EQ(HostLiveBlockCount(), liveAtStart_) << "blocks leaked";
  }
  int64_t liveAtStart_ = 0;
};

ExpItem StoredItem(ExprContext* ec, const char* name) {
  ExpItem item{};
  EXPECT_EQ(XEVGetExpressionVariable(ec, &item, name), 1) << name;
  return item;
}

// A context as a host builds one before it writes or loads a block.
Ec HostContext() {
  Ec ec = NewContext();
  FUNDefineFunctions(ec.get());
  return ec;
}

// ---- Header and data items ---------------------------------------------------------

TEST_F(BlockLoader, HeaderOnlyBlocks) {
  Ec ec = NewContext();
  EXPECT_EQ(Load(ec.get(), BlockBuilder().Byte(3).OperatorNames().Build()), 1);

  // The last name may end the block; its slot is resolved like any other.
  Ec named = NewContext();
  std::vector<std::string> names(20, "");
  names[0] = "AddNumbers";
  names[19] = "KeywordConcat";
  EXPECT_EQ(Load(named.get(), BlockBuilder().Byte(3).OperatorNames(names).Build()), 1);
  EXPECT_STREQ(named->operators[kOpPlus].names[0], "AddNumbers");
  EXPECT_NE(named->operators[kOpPlus].bound[0], 0);
  EXPECT_STREQ(named->operators[kOpConcat].names[3], "KeywordConcat");
  EXPECT_EQ(ResolvedNames(), (std::vector<std::string>{"AddNumbers", "KeywordConcat"}));

  // The oldest version has no version byte: 20 empty names are the block.
  Ec oldest = NewContext();
  EXPECT_EQ(Load(oldest.get(), Bytes(20, 0)), 1);
}

TEST_F(BlockLoader, RefusedBlocks) {
  Ec ec = NewContext();
  Bytes block = BlockBuilder().Byte(3).OperatorNames().Build();
  for (uint8_t version : {4, 0x7F, 0xFF}) {
    block[0] = version;
    EXPECT_EQ(Load(ec.get(), block), 0) << int(version);
  }
  block[0] = 3;
  EXPECT_EQ(XEVSetECContents(nullptr, static_cast<int32_t>(block.size()), block.data(), 1, nullptr), 0);
  EXPECT_EQ(XEVSetECContents(ec.get(), 0, block.data(), 1, nullptr), 0);
  EXPECT_EQ(XEVSetECContents(ec.get(), 5, nullptr, 1, nullptr), 0);
  EXPECT_EQ(ec->dataItems, nullptr);
}

TEST_F(BlockLoader, UnresolvedNamesStopTheLoad) {
  std::vector<std::string> names(20, "");
  names[1] = "UnboundMinus";
  Ec ec = NewContext();
  Bytes block = BlockBuilder().Byte(3).OperatorNames(names).U16(0xFA).U16(1).Item85("A", "GetA").Build();
  EXPECT_EQ(Load(ec.get(), block), 0);
  EXPECT_EQ(ec->operators[kOpPlus].names[1], nullptr) << "the refused name is dropped";
  EXPECT_EQ(ec->dataItems, nullptr) << "nothing after it is read";

  // A data item whose binding name is refused stays, unbound, and ends the load.
  Ec items = NewContext();
  block = BlockBuilder().Byte(3).OperatorNames().U16(0xFA).U16(2).Item85("A", "UnboundA").Item85("B", "GetB").Build();
  EXPECT_EQ(Load(items.get(), block), 0);
  EXPECT_EQ(+StoredItem(items.get(), "A").boundValue, 0);
  EXPECT_EQ(XEVGetExpressionVariable(items.get(), nullptr, "B"), 0);
}

TEST_F(BlockLoader, SectionCountsMustBeFollowedByData) {
  Ec ec = NewContext();
  EXPECT_EQ(Load(ec.get(), BlockBuilder().Byte(3).OperatorNames().U16(0xFA).U16(0).Build()), 0);
  Ec formulas = NewContext();
  EXPECT_EQ(Load(formulas.get(), BlockBuilder().Byte(3).OperatorNames().U16(0xFC).U16(0).Build()), 0);

  // A data item record may end the block.
  Ec items = NewContext();
  EXPECT_EQ(Load(items.get(), BlockBuilder().Byte(3).OperatorNames().U16(0xFA).U16(1).Item85("A", "GetA").Build()), 1);
  EXPECT_NE(+StoredItem(items.get(), "A").boundValue, 0);
}

TEST_F(BlockLoader, CurrentItemImageLoadsAsStored) {
  Ec ec = NewContext();
  ExpItem amount = DataItem("Amount", "GetAmount", XEV_TYPE_DATETIME);
  amount.subclass = 7;
  amount.flags = 0x0010;
  ExpItem name = DataItem("Name", "GetName", XEV_TYPE_STRING);
  ASSERT_EQ(XEVAddExpressionItem(ec.get(), &amount), 1);
  ASSERT_EQ(XEVAddExpressionItem(ec.get(), &name), 1);
  Bytes block = WriteBlock(ec.get());

  Ec loaded = NewContext();
  ASSERT_EQ(Load(loaded.get(), block), 1);
  ExpItem item = StoredItem(loaded.get(), "Amount");
  EXPECT_EQ(+item.dataType, XEV_TYPE_DATETIME);
  EXPECT_EQ(+item.subclass, 7);
  EXPECT_EQ(+item.flags, 0x0010);
  EXPECT_STREQ(item.bindingName, "GetAmount");
  EXPECT_EQ(WriteBlock(loaded.get()), block);
}

// Version 1 images are widened field by field; what they lack stays zero and
// stored addresses are never taken over.
TEST_F(BlockLoader, VersionOneImagesAreWidened) {
  Ec ec = NewContext();
  Bytes block = BlockBuilder()
                    .Byte(1)
                    .OperatorNames()
                    .U16(0xFA)
                    .U16(1)
                    .Item60("Amount", "GetAmount", XEV_TYPE_STRING, 0x12345678, 3, 4, 5, 0x0010)
                    .Build();
  ASSERT_EQ(Load(ec.get(), block), 1);
  Bytes image = WriteBlock(ec.get());
  ASSERT_EQ(image.size(), kHeader + 4 + 85 + sizeof "GetAmount");
  Bytes expected(85, 0);
  expected[0] = 1;
  expected[2] = 2;
  std::memcpy(expected.data() + 12, "Amount", 6);
  expected[77] = 3;
  expected[79] = 4;
  expected[81] = 5;
  expected[83] = 0x10;
  EXPECT_EQ(Bytes(image.begin() + 25, image.begin() + 110), expected);
  EXPECT_NE(+StoredItem(ec.get(), "Amount").boundValue, 0x12345678);
}

TEST_F(BlockLoader, AverageSubclassIsGivenToOldItems) {
  ExpItem average{};
  average.kind = XEV_ITEM_FUNCTION;
  average.bindingName = "HostAverage";
  average.boundValue = 1;
  average.paramCount = 1;
  average.params[0] = ExpParam{1, XEV_TYPE_NUMBER, 5};
  std::strcpy(average.name, "ReportAverage");

  for (uint8_t version : {uint8_t{2}, uint8_t{3}}) {
    Ec ec = NewContext();
    ASSERT_EQ(XEVAddExpressionItem(ec.get(), &average), 1);
    Bytes block = BlockBuilder().Byte(version).OperatorNames().U16(0xFA).U16(2).Item85("A", "GetA", 0, 2).Item85("B", "GetB").Build();
    ASSERT_EQ(Load(ec.get(), block), 1);
    int16_t expected = version == 2 ? 5 : 2;
    EXPECT_EQ(+StoredItem(ec.get(), "A").subclass, expected) << int(version);
    EXPECT_EQ(+StoredItem(ec.get(), "B").subclass, version == 2 ? 5 : 0) << int(version);
  }
}

TEST_F(BlockLoader, OldestVersionSkipsFunctionItems) {
  Ec ec = HostContext();
  BlockBuilder builder;
  builder.OperatorNames().U16(0xFA).U16(1).Item54("Amount", "GetAmount");
  // Two function images: one with two parameter entries, one with a negative count.
  builder.U16(0xFB).U16(2);
  builder.U16(0).U16(0).U32(0).U32(0).Field("Twice", 40).U16(2).Zeros(12).Str("FunTwice");
  builder.U16(0).U16(0).U32(0).U32(0).Field("Odd", 40).U16(0xFFFF).Str("FunOdd");
  builder.U16(0xFC).U16(1).Formula("Amount * 2", "Double");
  ASSERT_EQ(Load(ec.get(), builder.Build()), 1);
  EXPECT_EQ(ExpressionName(ec.get(), 0), "Double");
  ExpItem unused{};
  EXPECT_EQ(XEVGetExpressionVariable(ec.get(), &unused, "Twice"), 0);
}

// ---- Formulas -------------------------------------------------------------------------

class BlockFormulas : public BlockLoader {
 protected:
  void SetUp() override {
    BlockLoader::SetUp();
    source_ = HostContext();
    AddItem(source_.get(), "Amount", "GetAmount", XEV_TYPE_NUMBER);
    AddItem(source_.get(), "Name", "GetName", XEV_TYPE_STRING);
    AddItem(source_.get(), "Due", "GetDue", XEV_TYPE_DATETIME);
  }
  void TearDown() override {
    source_.reset();
    BlockLoader::TearDown();
  }
  static void AddItem(ExprContext* ec, const char* name, const char* binding, int16_t type) {
    ExpItem item = DataItem(name, binding, type);
    ASSERT_EQ(XEVAddExpressionItem(ec, &item), 1);
  }
  HEXP Parse(const char* text, const char* name) {
    ExprError error{};
    uint16_t type = 0;
    HEXP exp = XEVParseString(source_.get(), text, name, &error, &type);
    EXPECT_NE(exp, nullptr) << text << " failed with " << error.code << " at " << error.pos;
    return exp;
  }
  // A block of the source context with the formulas of every kind.
  Bytes RealisticBlock() {
    XEVSetOperatorCallback(source_.get(), 0, 2, "StringPlus");
    Parse("Amount * 2 + 1", "Double");
    Parse("StrLeft(Name, 3) || '-'", "Short");
    Parse("Due + 3 DAYS", "Later");
    Parse("Double() / 4", "Quarter");
    Parse("1, 2, Amount", "Choices");
    Parse("Due AND Due + 1 DAY", "Window");
    Parse("1/2/2001", "Start");
    return WriteBlock(source_.get());
  }
  Ec source_;
};

TEST_F(BlockFormulas, RoundTripIsByteExact) {
  Bytes block = RealisticBlock();
  Ec loaded = HostContext();
  ASSERT_EQ(Load(loaded.get(), block), 1);
  EXPECT_EQ(XEVGetExpressionCount(loaded.get()), 7);
  EXPECT_EQ(WriteBlock(loaded.get()), block);
  EXPECT_TRUE(Reported().empty());
}

TEST_F(BlockFormulas, ExpressionsFlagZeroLoadsNoFormula) {
  Bytes block = RealisticBlock();
  Ec loaded = HostContext();
  ASSERT_EQ(Load(loaded.get(), block, 0), 1);
  EXPECT_EQ(XEVGetExpressionCount(loaded.get()), 0);
  EXPECT_NE(+StoredItem(loaded.get(), "Due").boundValue, 0);
}

// A formula calling one stored after it waits for it, and the formulas end in
// block order.
TEST_F(BlockFormulas, ForwardReferencesAreDeferred) {
  Bytes block = BlockBuilder()
                    .Byte(3)
                    .OperatorNames()
                    .U16(0xFA).U16(1).Item85("Amount", "GetAmount")
                    .U16(0xFC).U16(4)
                    .Formula("B() + C()", "A")
                    .Formula("C() * 2", "B")
                    .Formula("Amount + 1", "C")
                    .Formula("A() - 1", "D")
                    .Build();
  Ec ec = HostContext();
  ASSERT_EQ(Load(ec.get(), block, 1, RecordLoadError), 1);
  ASSERT_EQ(XEVGetExpressionCount(ec.get()), 4);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(ExpressionName(ec.get(), i), std::string(1, char('A' + i)));
  EXPECT_EQ(ExpressionText(ec.get(), 0), "B() + C()");
  EXPECT_TRUE(Reported().empty());
}

TEST_F(BlockFormulas, FormulasWaitingForEachOtherEndTheLoad) {
  Bytes block = BlockBuilder()
                    .Byte(2)
                    .OperatorNames()
                    .U16(0xFC).U16(4)
                    .Formula("1 + 1", "Two")
                    .Formula("Pong() + 1", "Ping")
                    .Formula("Ping() + 1", "Pong")
                    .Formula("Self() + 1", "Self")
                    .Build();
  Ec ec = HostContext();
  EXPECT_EQ(Load(ec.get(), block, 1, RecordLoadError), 0);
  EXPECT_EQ(XEVGetExpressionCount(ec.get()), 1);
  ASSERT_EQ(Reported().size(), 1u);
  EXPECT_EQ(Reported()[0].text, "Pong() + 1");
  EXPECT_EQ(Reported()[0].error.code, 103u);
}

// A formula the user must correct goes to the editor; without one the load
// stops as if the user had cancelled, keeping what came before, with no report.
TEST_F(BlockFormulas, UncorrectableFormulaStopsTheLoad) {
  Bytes block = BlockBuilder()
                    .Byte(3)
                    .OperatorNames()
                    .U16(0xFC).U16(3)
                    .Formula("1 + 1", "Two")
                    .Formula("Nowhere(1)", "Lost")
                    .Formula("2 + 2", "Four")
                    .Build();
  Ec ec = HostContext();
  EXPECT_EQ(Load(ec.get(), block, 1, RecordLoadError), 0);
  EXPECT_EQ(XEVGetExpressionCount(ec.get()), 1);
  EXPECT_EQ(ExpressionName(ec.get(), 0), "Two");
  EXPECT_TRUE(Reported().empty());
  EXPECT_FALSE(xev::persist::CurrentLoadFix().active);
  EXPECT_EQ(xev::persist::CurrentLoadFix().records, nullptr);
}

TEST_F(BlockFormulas, OldVersionsReportTheFirstFailure) {
  Bytes block = BlockBuilder()
                    .Byte(1)
                    .OperatorNames()
                    .U16(0xFC).U16(3)
                    .Formula("1 + 1", "Two")
                    .Formula("Later() + 1", "Early")
                    .Formula("2", "Later")
                    .Build();
  Ec ec = HostContext();
  EXPECT_EQ(Load(ec.get(), block, 1, RecordLoadError), 0);
  EXPECT_EQ(XEVGetExpressionCount(ec.get()), 1);
  ASSERT_EQ(Reported().size(), 1u);
  EXPECT_EQ(Reported()[0].text, "Later() + 1");
  EXPECT_EQ(Reported()[0].error.code, 103u);
}

// The oldest blocks predate the date-part keywords: names reading as one get
// a "_" in front, and so does every such token of later formula texts.
TEST_F(BlockFormulas, OldestVersionRenamesKeywordNames) {
  std::string longWord = "MonthsOfTheYears";  // 16 bytes: never checked
  Bytes block = BlockBuilder()
                    .OperatorNames()
                    .U16(0xFA).U16(2).Item54("Days", "GetDays").Item54(longWord, "GetLong")
                    .U16(0xFC).U16(3)
                    .Formula("Days*2 + Days", "Hour")
                    .Formula("StrLeft('Days', 3) || 'x'", "Label")
                    .Formula("Hour() + " + longWord, "Total")
                    .Build();
  Ec ec = HostContext();
  ASSERT_EQ(Load(ec.get(), block, 1, RecordLoadError), 1) << (Reported().empty() ? "" : Reported()[0].text);
  ExpItem renamed{};
  EXPECT_EQ(XEVGetExpressionVariable(ec.get(), &renamed, "_Days"), 1);
  EXPECT_EQ(XEVGetExpressionVariable(ec.get(), &renamed, longWord.c_str()), 1);
  EXPECT_EQ(ExpressionName(ec.get(), 0), "_Hour");
  EXPECT_EQ(ExpressionText(ec.get(), 0), "_Days*2 + _Days");
  EXPECT_EQ(ExpressionText(ec.get(), 1), "StrLeft('Days', 3) || 'x'");
  EXPECT_EQ(ExpressionText(ec.get(), 2), "_Hour() + " + longWord);
}

TEST(PrefixKeywordTokens, OnlyWholeUnquotedShortTokens) {
  auto prefixed = [](const std::string& text) {
    std::string out(2 * text.size() + 1, '\0');
    EXPECT_TRUE(xev::persist::PrefixKeywordTokens(out.data(), text.c_str()));
    return std::string(out.c_str());
  };
  EXPECT_EQ(prefixed("Years+ minute -(SECONDS)"), "_Years+ _minute -(_SECONDS)");
  EXPECT_EQ(prefixed("Dayss, Mass, Holiday"), "Dayss, Mass, Holiday");
  EXPECT_EQ(prefixed("\"day\" || day"), "\"day\" || _day");
  EXPECT_EQ(prefixed("  day  "), "  _day  ");
  EXPECT_EQ(prefixed(""), "");
}

TEST(LoadNameIsInBlock, FindsTheCalledName) {
  const char records[] = "1\0First\0First() + 2\0Second\0";
  int32_t length = sizeof records - 1;
  const char* text = "Second  (1) + First ()";
  ExprError second{103, 0, 9};  // "Second  ("
  EXPECT_EQ(xev::persist::LoadNameIsInBlock(text, records, length, &second, 2), 1);
  ExprError first{103, 14, 7};
  EXPECT_EQ(xev::persist::LoadNameIsInBlock(text, records, length, &first, 2), 1);
  EXPECT_EQ(xev::persist::LoadNameIsInBlock(text, records, length, &first, 0), 0);
  ExprError partial{103, 0, 4};  // "Sec"
  EXPECT_EQ(xev::persist::LoadNameIsInBlock(text, records, length, &partial, 2), 0);
  ExprError outside{103, 200, 9};
  EXPECT_EQ(xev::persist::LoadNameIsInBlock(text, records, length, &outside, 2), 0);
  // More records claimed than the block holds: the walk stops at its end.
  ExprError missing{103, 0, 4};
  EXPECT_EQ(xev::persist::LoadNameIsInBlock("Zed(", records, length, &missing, 50), 0);
}

// ---- Damaged blocks ---------------------------------------------------------------------

// A cut block fails, except where the cut leaves no section marker behind:
// right after the names or after the last data item, with or without one
// more byte.
TEST_F(BlockFormulas, EveryTruncationLoadsAPrefixAndFails) {
  Bytes block = RealisticBlock();
  size_t namesEnd = kHeader + std::strlen("StringPlus");
  size_t itemsEnd = namesEnd + 4 + (85 + sizeof "GetAmount") + (85 + sizeof "GetName") + (85 + sizeof "GetDue");
  ASSERT_EQ(block[itemsEnd], 0xFC);
  int32_t lastCount = 0;
  for (size_t length = 1; length < block.size(); ++length) {
    Ec ec = HostContext();
    int32_t result = Load(ec.get(), Bytes(block.begin(), block.begin() + static_cast<long>(length)));
    bool complete = length == namesEnd || length == namesEnd + 1 || length == itemsEnd || length == itemsEnd + 1;
    EXPECT_EQ(result, complete ? 1 : 0) << "cut at " << length;
    int32_t count = XEVGetExpressionCount(ec.get());
    EXPECT_GE(count, lastCount) << "cut at " << length;
    lastCount = count;
    // A partly loaded context, empty item slots included, still writes.
    EXPECT_LE(WriteBlock(ec.get()).size(), block.size());
  }
  EXPECT_EQ(lastCount, 6);
}

TEST_F(BlockFormulas, FlippedBytesNeverCrash) {
  Bytes block = RealisticBlock();
  for (size_t at = 0; at < block.size(); ++at) {
    for (uint8_t mask : {0x01, 0x80, 0xFF}) {
      Bytes damaged = block;
      damaged[at] ^= mask;
      Ec ec = HostContext();
      Load(ec.get(), damaged);
      WriteBlock(ec.get());
    }
  }
}

TEST_F(BlockFormulas, CountsLargerThanTheData) {
  Bytes block = BlockBuilder()
                    .Byte(3)
                    .OperatorNames()
                    .U16(0xFA).U16(30000).Item85("Amount", "GetAmount")
                    .Build();
  Ec ec = HostContext();
  EXPECT_EQ(Load(ec.get(), block), 0);
  // The slot added for the record that was missing stays empty but counted.
  Bytes written = WriteBlock(ec.get());
  EXPECT_EQ(written[kHeader + 2], 2);
  EXPECT_EQ(written.size(), kHeader + 4 + 85 + sizeof "GetAmount");

  Bytes formulas = BlockBuilder().Byte(3).OperatorNames().U16(0xFC).U16(0x7FFF).Formula("1", "One").Build();
  Ec loaded = HostContext();
  EXPECT_EQ(Load(loaded.get(), formulas), 0);
  EXPECT_EQ(XEVGetExpressionCount(loaded.get()), 1);

  Bytes unterminated = BlockBuilder().Byte(3).OperatorNames().U16(0xFC).U16(1).Str("1").Build();
  unterminated.push_back('O');
  Ec cut = HostContext();
  EXPECT_EQ(Load(cut.get(), unterminated), 0);
  EXPECT_EQ(XEVGetExpressionCount(cut.get()), 0);
}

// Every allocation of a load may fail; each failure ends the load with 0 and
// leaks nothing.
TEST_F(BlockFormulas, AllocationFailuresEndTheLoadCleanly) {
  Bytes block = RealisticBlock();
  Bytes deferring = BlockBuilder()
                        .Byte(3)
                        .OperatorNames({"AddNumbers"})
                        .U16(0xFA).U16(1).Item85("Amount", "GetAmount")
                        .U16(0xFC).U16(3)
                        .Formula("B() + C()", "A")
                        .Formula("C() * 2", "B")
                        .Formula("Amount + 1", "C")
                        .Build();
  for (const Bytes* tested : {&block, &deferring}) {
    int32_t result = 0;
    for (int64_t failAt = 1; result == 0 && failAt < 5000; ++failAt) {
      Ec ec = HostContext();
      HostFailAllocationAfter(failAt);
      result = Load(ec.get(), *tested, 1, RecordLoadError);
      HostFailAllocationAfter(0);
    }
    EXPECT_EQ(result, 1);
  }
}

// ---- Fixtures of the old versions ----------------------------------------------------------

// Reads a fixture written as hex bytes ("00*34" repeats one) and quoted
// texts (without their terminator), with # comments.
Bytes ReadFixture(const std::string& name) {
  std::ifstream in(std::string(XEV_TEST_DATA_DIR) + "/blocks/" + name);
  EXPECT_TRUE(in.good()) << name;
  Bytes bytes;
  std::string line;
  while (std::getline(in, line)) {
    for (size_t at = 0; at < line.size();) {
      char c = line[at];
      if (c == '#') break;
      if (c == '"') {
        size_t end = line.find('"', at + 1);
        bytes.insert(bytes.end(), line.begin() + static_cast<long>(at) + 1, line.begin() + static_cast<long>(end));
        at = end + 1;
      } else if (std::isxdigit(static_cast<unsigned char>(c))) {
        // "00*34" repeats a byte.
        auto byte = static_cast<uint8_t>(std::stoi(line.substr(at, 2), nullptr, 16));
        at += 2;
        size_t repeat = 1;
        if (at < line.size() && line[at] == '*') {
          size_t digits = 0;
          repeat = std::stoul(line.substr(at + 1), &digits);
          at += 1 + digits;
        }
        bytes.insert(bytes.end(), repeat, byte);
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
    std::vector<std::string> names;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {"version0.blk.txt", {"Total", "_Months"}, {"Amount", "_Month"}},
      {"version1.blk.txt", {"Total", "Tax"}, {"Amount", "Rate"}},
      {"version2.blk.txt", {"Net", "Gross", "Tax"}, {"Amount", "Rate"}},
  };
  for (const Case& c : cases) {
    Ec ec = HostContext();
    ASSERT_EQ(Load(ec.get(), ReadFixture(c.file), 1, RecordLoadError), 1) << c.file;
    ASSERT_EQ(XEVGetExpressionCount(ec.get()), static_cast<int32_t>(c.names.size())) << c.file;
    for (size_t i = 0; i < c.names.size(); ++i) EXPECT_EQ(ExpressionName(ec.get(), static_cast<int32_t>(i)), c.names[i]);
    for (const std::string& item : c.items) EXPECT_NE(+StoredItem(ec.get(), item.c_str()).boundValue, 0) << item;
  }
}

}  // namespace
