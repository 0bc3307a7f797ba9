// Conversion between the UTF-8 of files and terminals and the code page the
// engine works in. The engine sees code-page bytes only; everything the tool
// reads is converted on the way in and everything it prints on the way out.
// Under code page 65001 (the default) both sides are UTF-8: input is checked
// instead of converted, and a bad sequence is an error or, when asked, U+FFFD.
#pragma once

#include <cstdint>
#include <functional>
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

inline constexpr uint32_t kUtf8CodePage = 65001;

// A sequence of bytes that is not UTF-8: where it starts and how long it is
// (length 0: there is none).
struct BadSequence {
  size_t offset = 0;
  size_t length = 0;
};

// The first bad sequence of text (overlong forms, surrogates, stray or
// missing continuation bytes count, as the engine counts them).
BadSequence FindBadUtf8(std::string_view text);
bool IsValidUtf8(std::string_view text);
bool IsAscii(std::string_view text);
// text with each bad sequence replaced by U+FFFD; returns how many were.
size_t ReplaceBadUtf8(std::string_view text, std::string& out);

// Where in the bytes of a file its first bad sequence lies: line (from 1,
// line breaks as the CSV reader counts them) and byte within the line (from
// 1). line 0: the bytes are good.
struct BadPlace {
  int64_t line = 0;
  int64_t byte = 0;
  std::string bytes;  // the sequence, as "0xC3 0x28"
};
BadPlace LocateBadUtf8(std::string_view bytes);
// The same for a bad sequence known to start at offset: the lines before it
// are counted a stretch at a time, and passed(from, to) is told of each
// stretch counted, so that a mapped file's pages can go behind.
BadPlace LocateBadUtf8At(std::string_view bytes, size_t offset, const std::function<void(size_t, size_t)>& passed);
// "PATH:LINE: byte N (0x..) is not valid UTF-8".
std::string BadUtf8Message(const std::string& path, const BadPlace& place);

class CodePageConverter {
 public:
  // codePage is one the host runtime supports (65001, 1252 or 932).
  explicit CodePageConverter(uint32_t codePage, bool replaceInvalid = false);
  ~CodePageConverter();
  CodePageConverter(const CodePageConverter&) = delete;
  CodePageConverter& operator=(const CodePageConverter&) = delete;

  bool ok() const { return utf8() || (toAnsi_ != nullptr && toUtf8_ != nullptr); }
  uint32_t codePage() const { return codePage_; }
  bool utf8() const { return codePage_ == kUtf8CodePage; }
  bool replaceInvalid() const { return replaceInvalid_; }

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
  // Under UTF-8 the text is taken as it is (checked before, see CheckInput),
  // with bad sequences replaced when replaceInvalid was asked for.
  void FromInput(std::string_view text, bool utf8, std::string& out, const InputPlace& place) const;

  // Under UTF-8, whether input text of origin may be used: good text, or bad
  // text when bad sequences are to be replaced (then counted in replaced).
  // Otherwise false with a one-line message naming origin and the byte.
  bool CheckInput(std::string_view text, const InputPlace& place, size_t& replaced, std::string& error) const;

 private:
  bool Convert(void* cd, std::string_view in, std::string& out, bool inputIsUtf8) const;

  uint32_t codePage_;
  bool replaceInvalid_;
  void* toAnsi_ = nullptr;
  void* toUtf8_ = nullptr;
  mutable bool warned_ = false;
};

// Tells on standard error how many bad sequences of origin were replaced.
void ReportReplaced(std::string_view origin, size_t replaced);

}  // namespace xevhost
