#include "code_page_text.h"

#include <iconv.h>

#include <QList>

#include <memory>

#include "xev/xevhost.h"

#include <algorithm>

namespace xevqt {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Code page 1252 differs from Latin-1 only in 0x80..0x9F; the five bytes it
// leaves undefined show as the replacement character.
constexpr char16_t k1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

bool IsHalfWidthKana(unsigned char byte) { return byte >= 0xA1 && byte <= 0xDF; }

// The code point of the character at bytes[i], whose length the host runtime
// gave; a byte of a broken sequence is a character of its own that shows as
// the replacement character, as the engine steps over it.
char32_t DecodeUtf8(std::string_view bytes, size_t i, size_t length) {
  if (length == 1) return kReplacement;
  QString one = QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(length));
  return one.toUcs4().value(0, kReplacement);
}

// Qt's encoder writes '?' for half a surrogate pair; the replacement
// character says better that something was lost.
QString WithoutLoneSurrogates(QString text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      ++i;
      continue;
    }
    if (text[i].isSurrogate()) text[i] = QChar(kReplacement);
  }
  return text;
}

}  // namespace

int32_t DisplayText::PositionOf(int32_t byteOffset) const {
  auto at = std::lower_bound(byteAt.begin(), byteAt.end(), byteOffset);
  if (at == byteAt.end()) return static_cast<int32_t>(text.size());
  if (*at != byteOffset && at != byteAt.begin()) --at;
  return static_cast<int32_t>(at - byteAt.begin());
}

int32_t DisplayText::ByteOffsetOf(int32_t position) const {
  if (byteAt.empty()) return 0;
  position = std::clamp(position, 0, static_cast<int32_t>(byteAt.size()) - 1);
  return byteAt[static_cast<size_t>(position)];
}

CodePageText::CodePageText() : codePage_(HostGetCodePage()) {
  if (codePage_ != 932) return;
  iconv_t in = iconv_open("UTF-16LE", "CP932");
  iconv_t out = iconv_open("CP932", "UTF-32LE");
  toUnicode_ = in == reinterpret_cast<iconv_t>(-1) ? nullptr : in;
  fromUnicode_ = out == reinterpret_cast<iconv_t>(-1) ? nullptr : out;
}

CodePageText::~CodePageText() {
  if (toUnicode_ != nullptr) iconv_close(static_cast<iconv_t>(toUnicode_));
  if (fromUnicode_ != nullptr) iconv_close(static_cast<iconv_t>(fromUnicode_));
}

bool CodePageText::IsLeadByte(unsigned char byte) const { return HostIsLeadByte(byte) != 0; }

char16_t CodePageText::DecodeDoubleByte(unsigned char lead, unsigned char trail) const {
  if (toUnicode_ == nullptr) return kReplacement;
  char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  char out[4] = {};
  char* inPtr = in;
  char* outPtr = out;
  size_t inLeft = sizeof in, outLeft = sizeof out;
  iconv(static_cast<iconv_t>(toUnicode_), nullptr, nullptr, nullptr, nullptr);
  if (iconv(static_cast<iconv_t>(toUnicode_), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
      outLeft != 2)
    return kReplacement;
  return static_cast<char16_t>(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
}

DisplayText CodePageText::ToDisplay(std::string_view bytes, bool foldLineBreaks) const {
  DisplayText d;
  d.text.reserve(static_cast<qsizetype>(bytes.size()));
  d.byteAt.reserve(bytes.size() + 1);
  for (size_t i = 0; i < bytes.size();) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    d.byteAt.push_back(static_cast<int32_t>(i));
    if (foldLineBreaks && byte == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      d.text.append(QChar(u'\n'));
      i += 2;
      continue;
    }
    if (codePage_ == XEV_CP_UTF8 && byte >= 0x80) {
      auto length = static_cast<size_t>(
          HostCharLength(bytes.data() + i, static_cast<int32_t>(std::min<size_t>(bytes.size() - i, 4))));
      char32_t c = DecodeUtf8(bytes, i, length);
      // A character beyond the first plane takes two UTF-16 units; both map
      // to its first byte, so no position lands between them.
      if (QChar::requiresSurrogates(c)) {
        d.text.append(QChar(QChar::highSurrogate(c)));
        d.byteAt.push_back(static_cast<int32_t>(i));
        d.text.append(QChar(QChar::lowSurrogate(c)));
      } else {
        d.text.append(QChar(static_cast<char16_t>(c)));
      }
      i += length;
      continue;
    }
    if (IsLeadByte(byte) && i + 1 < bytes.size()) {
      d.text.append(QChar(DecodeDoubleByte(byte, static_cast<unsigned char>(bytes[i + 1]))));
      i += 2;
      continue;
    }
    char16_t c = byte;
    if (codePage_ == 932) {
      if (IsHalfWidthKana(byte)) c = static_cast<char16_t>(0xFF61 + (byte - 0xA1));
      else if (byte >= 0x80) c = kReplacement;
    } else if (byte >= 0x80 && byte <= 0x9F) {
      c = k1252High[byte - 0x80];
    }
    d.text.append(QChar(c));
    ++i;
  }
  d.byteAt.push_back(static_cast<int32_t>(bytes.size()));
  return d;
}

void CodePageText::EncodeOne(char32_t c, std::string& out) const {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
    return;
  }
  if (codePage_ != 932) {
    if (c >= 0xA0 && c <= 0xFF) {
      out.push_back(static_cast<char>(c));
      return;
    }
    for (int i = 0; i < 32; ++i)
      if (k1252High[i] == c && c != kReplacement) {
        out.push_back(static_cast<char>(0x80 + i));
        return;
      }
    out.push_back('?');
    return;
  }
  if (fromUnicode_ == nullptr) {
    out.push_back('?');
    return;
  }
  char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF), static_cast<char>((c >> 16) & 0xFF),
                0};
  char bytes[4] = {};
  char* inPtr = in;
  char* outPtr = bytes;
  size_t inLeft = sizeof in, outLeft = sizeof bytes;
  iconv(static_cast<iconv_t>(fromUnicode_), nullptr, nullptr, nullptr, nullptr);
  if (iconv(static_cast<iconv_t>(fromUnicode_), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
    out.push_back('?');
    return;
  }
  out.append(bytes, sizeof bytes - outLeft);
}

std::string CodePageText::FromUnicode(const QString& text) const {
  if (codePage_ == XEV_CP_UTF8) {
    QByteArray bytes = WithoutLoneSurrogates(text).toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
  }
  std::string out;
  for (char32_t c : text.toUcs4()) EncodeOne(c, out);
  return out;
}

const CodePageText& HostCodePageText() {
  static std::unique_ptr<CodePageText> current;
  uint32_t codePage = HostGetCodePage();
  if (current == nullptr || current->codePage() != codePage) current = std::make_unique<CodePageText>();
  return *current;
}

}  // namespace xevqt
