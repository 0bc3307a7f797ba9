#include "text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace xevhost {
namespace {

iconv_t AsIconv(void* cd) { return static_cast<iconv_t>(cd); }

// Length of the UTF-8 sequence a lead byte announces; 1 for a byte that
// cannot start one, so that a bad byte is skipped on its own.
size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0xC2) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF5) return 4;
  return 1;
}

const char* IconvName(uint32_t codePage) {
  switch (codePage) {
    case 1252: return "CP1252";
    case 932: return "CP932";
    default: return nullptr;
  }
}

}  // namespace

bool IsAscii(std::string_view text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t n = Utf8SequenceLength(lead);
    if (n == 1 || i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

CodePageConverter::CodePageConverter(uint32_t codePage) : codePage_(codePage) {
  const char* name = IconvName(codePage);
  if (name == nullptr) return;
  iconv_t to = iconv_open(name, "UTF-8");
  iconv_t from = iconv_open("UTF-8", name);
  if (to != reinterpret_cast<iconv_t>(-1)) toAnsi_ = to;
  if (from != reinterpret_cast<iconv_t>(-1)) toUtf8_ = from;
}

CodePageConverter::~CodePageConverter() {
  if (toAnsi_ != nullptr) iconv_close(AsIconv(toAnsi_));
  if (toUtf8_ != nullptr) iconv_close(AsIconv(toUtf8_));
}

bool CodePageConverter::Convert(void* cd, std::string_view in, std::string& out,
                                bool inputIsUtf8) const {
  out.clear();
  if (IsAscii(in)) {  // the common case costs no conversion call
    out.assign(in);
    return true;
  }
  bool exact = true;
  iconv(AsIconv(cd), nullptr, nullptr, nullptr, nullptr);
  // A code-page character never takes more than 4 UTF-8 bytes, nor a UTF-8
  // character more than 2 code-page bytes; 4x covers both directions.
  out.resize(in.size() * 4 + 4);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  while (srcLeft > 0) {
    if (iconv(AsIconv(cd), &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG || dstLeft == 0) break;
    // An unconvertible or malformed character: write '?' and skip it whole,
    // but no further than its continuation bytes go, so a broken sequence
    // never swallows the character after it.
    size_t skip = 1;
    if (inputIsUtf8) {
      size_t announced = Utf8SequenceLength(static_cast<unsigned char>(*src));
      while (skip < announced && skip < srcLeft && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80) ++skip;
    }
    src += skip;
    srcLeft -= skip;
    *dst++ = '?';
    --dstLeft;
    exact = false;
    iconv(AsIconv(cd), nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(out.size() - dstLeft);
  return exact;
}

bool CodePageConverter::ToAnsi(std::string_view utf8, std::string& out) const {
  if (toAnsi_ == nullptr) {
    out.assign(utf8);
    return true;
  }
  return Convert(toAnsi_, utf8, out, true);
}

std::string CodePageConverter::ToAnsi(std::string_view utf8) const {
  std::string out;
  ToAnsi(utf8, out);
  return out;
}

bool CodePageConverter::ToUtf8(std::string_view ansi, std::string& out) const {
  if (toUtf8_ == nullptr) {
    out.assign(ansi);
    return true;
  }
  return Convert(toUtf8_, ansi, out, false);
}

std::string CodePageConverter::ToUtf8(std::string_view ansi) const {
  std::string out;
  ToUtf8(ansi, out);
  return out;
}

void CodePageConverter::FromInput(std::string_view text, bool utf8, std::string& out,
                                  const InputPlace& place) const {
  if (!utf8) {
    out.assign(text);
    return;
  }
  if (ToAnsi(text, out) || warned_) return;
  warned_ = true;
  std::fprintf(stderr,
               "xevhost: warning: %.*s:%lld: a character that code page %u cannot hold was replaced by '?' "
               "(the first such character; later ones are not told)\n",
               static_cast<int>(place.origin.size()), place.origin.data(), static_cast<long long>(place.line), codePage_);
}

}  // namespace xevhost
