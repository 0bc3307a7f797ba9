// The one place where the kit's code-page bytes and Qt's Unicode meet. Every
// character of code page 1252 and 932 is one UTF-16 unit, so a displayed
// text maps position by position onto the byte offsets the kit works in;
// under 65001 (UTF-8) a character beyond the first plane is two units, and
// both map to the character's first byte.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xevqt {

// A kit text as Qt shows it, with where each character starts in the bytes.
struct DisplayText {
  QString text;
  // byteAt[i] is the byte offset of the character at UTF-16 position i;
  // byteAt[text.size()] is the byte length, so a cursor position maps to a
  // byte offset as it is.
  std::vector<int32_t> byteAt;

  // The character position of a byte offset; an offset inside a double-byte
  // character (or inside a folded line break) goes to that character.
  int32_t PositionOf(int32_t byteOffset) const;
  int32_t ByteOffsetOf(int32_t position) const;
};

// Converts under the code page the host runtime has selected when it is made;
// its byte rules (lead bytes, UTF-8 lengths) are the runtime's, so it is
// made again when the host switches code pages (HostCodePageText does).
class CodePageText {
 public:
  CodePageText();
  ~CodePageText();
  CodePageText(const CodePageText&) = delete;
  CodePageText& operator=(const CodePageText&) = delete;

  uint32_t codePage() const { return codePage_; }
  bool IsLeadByte(unsigned char byte) const;

  // foldLineBreaks shows CR LF as one line break, as a multi-line edit does.
  DisplayText ToDisplay(std::string_view bytes, bool foldLineBreaks) const;
  QString ToUnicode(std::string_view bytes) const { return ToDisplay(bytes, false).text; }
  // Characters the code page cannot hold become '?' (under UTF-8 every
  // character can; a lone surrogate half becomes U+FFFD).
  std::string FromUnicode(const QString& text) const;

 private:
  char16_t DecodeDoubleByte(unsigned char lead, unsigned char trail) const;
  void EncodeOne(char32_t c, std::string& out) const;

  uint32_t codePage_;
  void* toUnicode_ = nullptr;  // iconv handles, for code page 932 only
  void* fromUnicode_ = nullptr;
};

// The converter for the host runtime's code page as it is now (the host may
// switch it between dialogs).
const CodePageText& HostCodePageText();

}  // namespace xevqt
