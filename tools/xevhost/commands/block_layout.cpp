#include "commands/block_layout.h"

namespace xevhost {
namespace {

constexpr int kOperatorNames = 20;
constexpr uint16_t kItemMarker = 0x00FA;
constexpr uint16_t kOldFunctionMarker = 0x00FB;
constexpr uint16_t kFormulaMarker = 0x00FC;
constexpr size_t kItemNameOffset = 12;

class Cursor {
 public:
  explicit Cursor(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
  size_t left() const { return bytes_.size() - pos_; }
  bool String(std::string& out) {
    size_t end = pos_;
    while (end < bytes_.size() && bytes_[end] != 0) ++end;
    if (end == bytes_.size()) return false;
    out.assign(reinterpret_cast<const char*>(bytes_.data()) + pos_, end - pos_);
    pos_ = end + 1;
    return true;
  }
  bool Word(uint16_t& out) {
    if (left() < 2) return false;
    out = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool PeekWord(uint16_t expected) const {
    return left() >= 2 && (bytes_[pos_] | (bytes_[pos_ + 1] << 8)) == expected;
  }
  bool Skip(size_t n, const unsigned char** at = nullptr) {
    if (left() < n) return false;
    if (at != nullptr) *at = bytes_.data() + pos_;
    pos_ += n;
    return true;
  }
  void Seek(size_t pos) { pos_ = pos; }

 private:
  const std::vector<unsigned char>& bytes_;
  size_t pos_ = 0;
};

std::string NameInImage(const unsigned char* image, size_t fieldSize) {
  const char* name = reinterpret_cast<const char*>(image + kItemNameOffset);
  size_t n = 0;
  while (n < fieldSize && name[n] != 0) ++n;
  return std::string(name, n);
}

// Steps over a section's marker and reads its record count; false when the
// block ends first.
bool SectionCount(Cursor& cursor, uint16_t& count) {
  uint16_t marker = 0;
  cursor.Word(marker);
  return cursor.Word(count);
}

}  // namespace

BlockLayout ReadBlockLayout(const std::vector<unsigned char>& block) {
  BlockLayout layout;
  if (block.empty()) return layout;
  Cursor cursor(block);
  // A version 0 block has no version byte: its first byte is the empty first name.
  layout.version = block[0] <= 3 ? block[0] : -1;
  if (layout.version < 0) return layout;
  if (layout.version > 0) cursor.Skip(1);
  for (int i = 0; i < kOperatorNames; ++i) {
    std::string name;
    if (!cursor.String(name)) return layout;
    layout.operatorNames.push_back(name);
  }
  size_t imageSize = layout.version == 0 ? 54 : layout.version == 1 ? 60 : 85;
  size_t nameField = layout.version <= 1 ? 40 : 65;
  if (cursor.PeekWord(kItemMarker)) {
    uint16_t count = 0;
    if (!SectionCount(cursor, count)) return layout;
    for (int i = 0; i < static_cast<int16_t>(count); ++i) {
      const unsigned char* image = nullptr;
      std::string binding;
      if (!cursor.Skip(imageSize, &image) || !cursor.String(binding)) return layout;
      layout.itemNames.push_back(NameInImage(image, nameField));
      layout.bindingNames.push_back(binding);
    }
  }
  if (layout.version == 0 && cursor.PeekWord(kOldFunctionMarker)) {
    uint16_t count = 0;
    if (!SectionCount(cursor, count)) return layout;
    for (int i = 0; i < static_cast<int16_t>(count); ++i) {
      const unsigned char* image = nullptr;
      if (!cursor.Skip(54, &image)) return layout;
      auto params = static_cast<int16_t>(image[52] | (image[53] << 8));
      std::string ignored;
      if (!cursor.Skip(params > 0 ? 6 * static_cast<size_t>(params) : 0) || !cursor.String(ignored)) return layout;
    }
  }
  if (cursor.PeekWord(kFormulaMarker)) {
    uint16_t count = 0;
    if (!SectionCount(cursor, count)) return layout;
    for (int i = 0; i < static_cast<int16_t>(count); ++i) {
      StoredFormula formula;
      if (!cursor.String(formula.text) || !cursor.String(formula.name)) return layout;
      layout.formulas.push_back(std::move(formula));
    }
  }
  layout.complete = true;
  return layout;
}

}  // namespace xevhost
