// Conversion between the UTF-8 of files and terminals and the ANSI code page
// the engine works in. The engine sees code-page bytes only; everything the
// tool reads is converted on the way in and everything it prints on the way out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xevhost {

enum class InputEncoding { kAuto, kUtf8, kAnsi };

// Where a piece of input comes from: a file and its line, or an option and
// its ordinal. Names the place of the first replaced character.
struct InputPlace {
  std::string_view origin;
  int64_t line;
};

bool IsValidUtf8(std::string_view text);
bool IsAscii(std::string_view text);

class CodePageConverter {
 public:
  // codePage is one the host runtime supports (1252 or 932).
  explicit CodePageConverter(uint32_t codePage);
  ~CodePageConverter();
  CodePageConverter(const CodePageConverter&) = delete;
  CodePageConverter& operator=(const CodePageConverter&) = delete;

  bool ok() const { return toAnsi_ != nullptr && toUtf8_ != nullptr; }
  uint32_t codePage() const { return codePage_; }

  // Characters the code page cannot hold, and bytes that are not UTF-8,
  // become '?'. The output is replaced, not appended to. Returns false when
  // something was replaced.
  bool ToAnsi(std::string_view utf8, std::string& out) const;
  std::string ToAnsi(std::string_view utf8) const;
  // Bytes that are not a character of the code page become '?'.
  bool ToUtf8(std::string_view ansi, std::string& out) const;
  std::string ToUtf8(std::string_view ansi) const;

  // Input text in the given encoding made into code-page bytes. The first
  // replacement of the converter's life is told on standard error with its
  // place: the user learns that the data changed, once, not once per cell.
  void FromInput(std::string_view text, bool utf8, std::string& out, const InputPlace& place) const;

 private:
  bool Convert(void* cd, std::string_view in, std::string& out, bool inputIsUtf8) const;

  uint32_t codePage_;
  void* toAnsi_ = nullptr;
  void* toUtf8_ = nullptr;
  mutable bool warned_ = false;
};

}  // namespace xevhost
