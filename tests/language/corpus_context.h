// The formula corpus under tests/data/formulas and the context it is written
// against, shared by the corpus test, the parse benchmark and the fuzzer seeds.
#pragma once

#include <fstream>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tests/language/parse_fixture.h"

namespace parse_test {

struct CorpusFormula {
  std::string name;
  std::string text;
};

inline std::vector<CorpusFormula> LoadCorpus(const std::string& path) {
  std::vector<CorpusFormula> formulas;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t separator = line.find(" = ");
    if (separator == std::string::npos) continue;
    formulas.push_back({line.substr(0, separator), line.substr(separator + 3)});
  }
  return formulas;
}

inline std::string CorpusPath() { return std::string(XEV_TEST_DATA_DIR) + "/formulas/corpus.txt"; }

// The items the corpus header describes.
inline void AddCorpusItems(ParseContext& c) {
  for (const testhost::NamedType& item : testhost::CorpusDataItems()) c.Data(item.name, item.type);
  uint16_t aggregate = XEV_FN_DISTINCT | XEV_FN_ALL;
  c.Function("Sum", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER, 1}}, 0, 0, aggregate);
  c.Function("Avg", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER, 1}}, 0, 0, aggregate);
  c.Function("Count", XEV_TYPE_NUMBER, {{XEV_TYPE_ANY, 1}}, 0, 0, aggregate);
  FUNDefineFunctions(c.ec);
}

constexpr uint16_t kCorpusFlags = ECF_RANGES_SETS | ECF_SET_QUANTIFIERS | ECF_MODULO;

// Inputs of the differential tests, which parse or scan a text two ways and
// compare: up to `most` pieces picked at random and joined, ...
inline std::string PieceText(std::mt19937& random, std::span<const char* const> pieces, int most) {
  std::string text;
  const int count = 1 + static_cast<int>(random() % static_cast<uint32_t>(most));
  for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
  return text;
}

// ... and a text with one to three bytes replaced, inserted or erased; the
// new bytes come from `bytes`, or with anyByte one in four is any byte but 0.
inline std::string Mutated(std::mt19937& random, std::string text, std::string_view bytes, bool anyByte) {
  for (int edits = 1 + static_cast<int>(random() % 3); edits > 0 && !text.empty(); --edits) {
    const size_t at = random() % text.size();
    const char byte = anyByte && random() % 4 == 0 ? static_cast<char>(1 + random() % 255)
                                                   : bytes[random() % bytes.size()];
    switch (random() % 3) {
      case 0: text[at] = byte; break;
      case 1: text.insert(at, 1, byte); break;
      default: text.erase(at, 1);
    }
  }
  return text;
}

}  // namespace parse_test
