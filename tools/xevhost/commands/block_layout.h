// Reading the parts of a stored context block that the engine's API does not
// hand back: the operator callback names, and the stored formula records, so
// that a failed load can say which formula stopped it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xevhost {

struct StoredFormula {
  std::string name;
  std::string text;
};

struct BlockLayout {
  int version = -1;
  std::vector<std::string> operatorNames;  // 20 slots, "" when empty
  std::vector<std::string> itemNames;
  std::vector<std::string> bindingNames;  // parallel to itemNames
  std::vector<StoredFormula> formulas;
  bool complete = false;  // every section lay inside the block
};

// Walks a block of any stored version as far as it lies inside the bytes.
BlockLayout ReadBlockLayout(const std::vector<unsigned char>& block);

}  // namespace xevhost
