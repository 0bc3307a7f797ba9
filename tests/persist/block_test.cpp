// Stored blocks: the writer's layout of each section, its size query and the
// rule that a piece is written whole or skipped when the buffer is short; the
// loader's section bounds, conversions of the old versions, deferred formulas
// and damaged input.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "oom/sweep.h"
#include "persist/block_loader.h"
#include "persist/load_fix.h"
#include "xev/xev.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Every name resolves to a distinct non-zero value, except names starting
// with "Unbound", which the host does not know.
std::vector<std::string>& ResolvedNames() {
  static std::vector<std::string> names;
  return names;
}

intptr_t XEV_CALL ResolveAll(const char* name) {
  ResolvedNames().emplace_back(name);
  if (std::strncmp(name, "Unbound", 7) == 0) return 0;
  return static_cast<intptr_t>(0x1000 + std::hash<std::string>{}(name) % 0x10000);
}

struct EcDeleter {
  void operator()(ExprContext* ec) const { XEVDestroyEC(ec); }
};
using Ec = std::unique_ptr<ExprContext, EcDeleter>;

Ec NewContext(uint16_t flags = ECF_RANGES_SETS, XEVResolveCallback resolve = ResolveAll) {
  return Ec(XEVCreateEC(0, resolve, nullptr, flags));
}

Bytes WriteBlock(ExprContext* ec) {
  Bytes block(XEVGetECBlockSize(ec, 1));
  int32_t written = XEVGetECBlock(ec, static_cast<int32_t>(block.size()), block.data());
  block.resize(static_cast<size_t>(written));
  return block;
}

// Loads from a heap copy of exactly the block's bytes, so that a read past
// its end is caught by the address sanitizer.
int32_t Load(ExprContext* ec, const Bytes& block, int32_t loadExpressions = 1,
                    XEVLoadErrorCallback onError = nullptr) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[block.size() + (block.empty() ? 1 : 0)]);
  if (!block.empty()) std::memcpy(exact.get(), block.data(), block.size());
  return XEVSetECContents(ec, static_cast<int32_t>(block.size()), exact.get(), loadExpressions, onError);
}

ExpItem DataItem(const char* name, const char* binding, int16_t type = XEV_TYPE_NUMBER) {
  ExpItem item{};
  item.kind = XEV_ITEM_DATA, item.dataType = type, item.bindingName = binding;
  std::strncpy(item.name, name, sizeof item.name - 1);
  return item;
}

// "Name = text" of the formula at ordinal, "<none>" past the last.
std::string NamedText(ExprContext* ec, int32_t ordinal) {
  HEXP exp = XEVHEXPFromOrdinal(ec, ordinal);
  return exp == nullptr ? "<none>" : testhost::ExpressionName(ec, exp) + " = " + testhost::ExpressionText(ec, exp);
}

// Appends the pieces of a hand-made block in the order they are given.
class BlockBuilder {
 public:
  BlockBuilder& Byte(uint8_t b) { return bytes_.push_back(b), *this; }
  BlockBuilder& U16(uint16_t v) { return Byte(static_cast<uint8_t>(v & 0xFF)).Byte(static_cast<uint8_t>(v >> 8)); }
  BlockBuilder& U32(uint32_t v) { return U16(static_cast<uint16_t>(v & 0xFFFF)).U16(static_cast<uint16_t>(v >> 16)); }
  BlockBuilder& Str(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return Byte(0);
  }
  // The 20 operator callback names; names[i] for the first ones, empty after.
  BlockBuilder& OperatorNames(const std::vector<std::string>& names = {}) {
    for (size_t i = 0; i < 20; ++i) Str(i < names.size() ? names[i] : "");
    return *this;
  }
  BlockBuilder& Field(std::string s, size_t width) {
    s.resize(width, '\0');
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  // Item image of versions 2 and 3 (85 bytes) followed by the binding name.
  BlockBuilder& Item85(const std::string& name, const std::string& binding, int16_t type = 0,
                       int16_t subclass = 0, uint16_t flags = 0) {
    U16(XEV_ITEM_DATA).U16(static_cast<uint16_t>(type)).U32(0).U32(0).Field(name, 65);
    U16(0).U16(static_cast<uint16_t>(subclass)).U16(0).U16(flags);
    return Str(binding);
  }
  // Version 1 image (60 bytes): 40-byte name, then the four short fields.
  BlockBuilder& Item60(const std::string& name, const std::string& binding, int16_t type, uint32_t bound,
                       int16_t params, int16_t subclass, int16_t subclass2, uint16_t flags) {
    U16(XEV_ITEM_DATA).U16(static_cast<uint16_t>(type)).U32(0xDEADBEEF).U32(bound).Field(name, 40);
    U16(static_cast<uint16_t>(params)).U16(static_cast<uint16_t>(subclass)).U16(static_cast<uint16_t>(subclass2));
    return U16(flags).Str(binding);
  }
  BlockBuilder& Formula(const std::string& text, const std::string& name) { return Str(text).Str(name); }
  Bytes Build() const { return bytes_; }

 private:
  Bytes bytes_;
};

constexpr size_t kHeader = 21;  // version byte and 20 empty operator names

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
      // A version after the current one is refused, however well formed.
      {"version 4", BlockBuilder().Byte(4).OperatorNames().Build(), 0},
      {"version 0x7F", Bytes{0x7F, 0, 0}, 0},
      {"version 0xFF", Bytes{0xFF, 0, 0}, 0}};
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
    EXPECT_EQ(NamedText(ec.get(), 0), "Two = 1 + 1");
    EXPECT_EQ(XEVGetExpressionCount(ec.get()), c.version == 2 ? 2 : 1) << "version 2 also loads Later";
    ASSERT_EQ(Reported().size(), c.reported ? 1u : 0u) << int(c.version);
    if (c.reported == nullptr) continue;
    EXPECT_EQ(std::tuple(Reported()[0].first, Reported()[0].second.code), std::tuple(c.reported, 103u));
  }
  EXPECT_EQ(std::tuple(xev::persist::CurrentLoadFix().active, xev::persist::CurrentLoadFix().records),
            std::tuple(false, nullptr));
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
// right after the names or after the last data item. Loaded formulas only
// grow with the length.
TEST_F(BlockLoader, EveryTruncationLoadsAPrefix) {
  Bytes block = RealisticBlock();
  size_t namesEnd = kHeader + std::strlen("StringPlus");
  size_t itemsEnd = namesEnd + 4 + 3 * 85 + sizeof "GetAmount" + sizeof "GetName" + sizeof "GetDue";
  ASSERT_EQ(block[itemsEnd], 0xFC);
  int32_t lastCount = 0;
  for (size_t length = 1; length < block.size(); ++length) {
    Ec ec = HostContext();
    int32_t result = Load(ec.get(), Bytes(block.begin(), block.begin() + static_cast<long>(length)));
    bool whole = length == namesEnd || length == itemsEnd;
    EXPECT_EQ(result, whole ? 1 : 0) << "cut at " << length;
    EXPECT_GE(XEVGetExpressionCount(ec.get()), lastCount) << "cut at " << length;
    lastCount = XEVGetExpressionCount(ec.get());
    EXPECT_LE(WriteBlock(ec.get()).size(), block.size()) << "empty item slots included";
  }
  EXPECT_EQ(lastCount, 6);
}

// Counts are signed 16-bit and the records end where the block ends; a block
// whose count wrapped, or that holds more than its counts say, is refused
// rather than loaded in part.
TEST_F(BlockLoader, CountsAndLengthAddUp) {
  const std::tuple<const char*, Bytes, int32_t, int32_t> cases[] = {
      {"data item count past 32767", Current().U16(0xFA).U16(0x8000).Item85("A", "GetA").Build(), 1, 0},
      {"formula count past 32767", Current().U16(0xFC).U16(0x8000).Formula("1", "One").Build(), 1, 0},
      {"data item count past 32767 before formulas",
       Current().U16(0xFA).U16(0x8000).U16(0xFC).U16(1).Formula("1", "One").Build(), 1, 0},
      {"oldest, function count past 32767", BlockBuilder().Field("", 20).U16(0xFB).U16(0x8000).Byte(0).Build(), 1, 0},
      {"a formula past the count", Current().U16(0xFC).U16(1).Formula("1", "One").Formula("2", "Two").Build(), 1, 0},
      {"a data item past the count", Current().U16(0xFA).U16(1).Item85("A", "GetA").Item85("B", "GetB").Build(), 1, 0},
      {"a byte after the names", Current().Byte(0xFA).Build(), 1, 0},
      {"bytes after the data items", Current().U16(0xFA).U16(1).Item85("A", "GetA").U16(0xFD).Build(), 0, 0},
      {"formulas left unread", Current().U16(0xFC).U16(9).Formula("1", "One").Build(), 0, 1},
  };
  for (const auto& [name, block, loadExpressions, loads] : cases)
    EXPECT_EQ(Load(NewContext().get(), block, loadExpressions), loads) << name;
}

// A context with more records than a count holds cannot be stored: the size
// query and the writer give 0. At the limit it round-trips whole.
TEST_F(BlockLoader, CountLimitOfTheWriter) {
  for (bool items : {true, false}) {
    BlockBuilder block = Current().U16(items ? 0xFA : 0xFC).U16(32767);
    for (int i = 0; i < 32767; ++i) {
      std::string name = "N" + std::to_string(i);
      items ? block.Item85(name, "Get" + name) : block.Formula("1", name);
    }
    Ec ec = HostContext();
    ASSERT_EQ(Load(ec.get(), block.Build()), 1);
    EXPECT_EQ(WriteBlock(ec.get()), block.Build()) << items;

    ExpItem item = DataItem("Last", "GetLast");
    ExprError error{};
    uint16_t type = 0;
    ASSERT_TRUE(items ? XEVAddExpressionItem(ec.get(), &item) == 1
                      : XEVParseString(ec.get(), "2", "Last", &error, &type) != nullptr);
    EXPECT_EQ(XEVGetECBlockSize(ec.get(), 1), 0u) << items;
    Bytes buffer(8 << 20, 0xEE);
    EXPECT_EQ(XEVGetECBlock(ec.get(), 0, buffer.data()), 0) << "a buffer of the size given, 0 bytes";
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(XEVGetECBlock(ec.get(), static_cast<int32_t>(buffer.size()), buffer.data()), 0) << items;
    // Without the formulas the items still fit a block.
    uint32_t withoutFormulas = XEVGetECBlockSize(ec.get(), 0);
    EXPECT_EQ(withoutFormulas, items ? 0u : kHeader);
    if (!items) {
      EXPECT_EQ(XEVGetECBlock(ec.get(), static_cast<int32_t>(withoutFormulas), buffer.data()), int32_t(kHeader));
    }
  }
}

TEST(BlockWriter, HeaderAndOperatorNames) {
  Ec ec = NewContext();
  EXPECT_EQ(XEVGetECBlockSize(ec.get(), 0), kHeader);
  Bytes expected(kHeader, 0);
  expected[0] = 3;
  EXPECT_EQ(WriteBlock(ec.get()), expected);
  uint8_t buffer[4] = {9, 9, 9, 9};
  EXPECT_EQ(XEVGetECBlock(nullptr, sizeof buffer, buffer), 1);
  EXPECT_EQ(Bytes(buffer, buffer + 2), (Bytes{3, 9}));

  // Names lie in table order; operator codes 2 ('/') and 3 ('*') swap places.
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 0, 0, "Add"), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 2, 1, "Div"), 1);
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 3, 1, "Mul"), 1);
  Bytes block = WriteBlock(ec.get());
  std::vector<std::string> names;
  for (size_t at = 1; at < block.size(); at += names.back().size() + 1)
    names.emplace_back(reinterpret_cast<const char*>(block.data() + at));
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(std::tuple(names[0], names[9], names[13]), std::tuple("Add", "Mul", "Div"));
}

// A piece that does not fit is skipped whole, shorter ones after it still go
// in, and nothing lands past the buffer.
TEST(BlockWriter, ShortBuffers) {
  Ec ec = NewContext();
  std::string longName(24, 'N');
  ASSERT_EQ(XEVSetOperatorCallback(ec.get(), 0, 0, longName.c_str()), 1);
  ExpItem item = DataItem("Amount", "GetAmount");
  ASSERT_EQ(XEVAddExpressionItem(ec.get(), &item), 1);
  Bytes buffer(26, 0xEE);
  EXPECT_EQ(XEVGetECBlock(ec.get(), 25, buffer.data()), 20);
  EXPECT_EQ(buffer, BlockBuilder().Byte(3).Field("", 19).Field("\xEE\xEE\xEE\xEE\xEE\xEE", 6).Build());

  ExprError error{};
  uint16_t type = 0;
  ASSERT_NE(XEVParseString(ec.get(), "1+2", "Ab", &error, &type), nullptr);
  ASSERT_NE(XEVParseString(ec.get(), "Amount + 1", "Next", &error, &type), nullptr);
  uint32_t full = XEVGetECBlockSize(ec.get(), 1);
  EXPECT_EQ(full - XEVGetECBlockSize(ec.get(), 0), 4u + 7u + 16u);
  Bytes block(full, 0);
  ASSERT_EQ(XEVGetECBlock(ec.get(), static_cast<int32_t>(full), block.data()), static_cast<int32_t>(full));
  EXPECT_EQ(Bytes(block.end() - 11 - 16, block.end() - 16), (Bytes{0xFC, 0, 2, 0, '1', '+', '2', 0, 'A', 'b', 0}));
  // One byte short, the last record is left out whole.
  EXPECT_EQ(XEVGetECBlock(ec.get(), static_cast<int32_t>(full - 1), block.data()), static_cast<int32_t>(full - 16));
}

}  // namespace
