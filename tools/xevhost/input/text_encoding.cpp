#include "input/text_encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "xev/xevhost.h"

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

namespace {

// The first byte at or after at that is not ASCII (text.size() if none),
// eight bytes a step: data files are mostly ASCII.
size_t SkipAscii(std::string_view text, size_t at) {
  constexpr uint64_t kHighBits = 0x8080808080808080u;
  for (; at + 8 <= text.size(); at += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + at, sizeof word);
    if ((word & kHighBits) != 0) break;
  }
  while (at < text.size() && static_cast<unsigned char>(text[at]) < 0x80) ++at;
  return at;
}

// The first bad sequence of a text whose bytes are all beyond ASCII.
BadSequence FindBadInStretch(std::string_view text) {
  // The engine takes lengths as 32-bit numbers: a longer text is checked in
  // pieces, and a sequence cut off at a piece's end is read again whole.
  constexpr size_t kPiece = size_t{1} << 30;
  size_t at = 0;
  while (at < text.size()) {
    size_t piece = std::min(kPiece, text.size() - at);
    int32_t offset = 0;
    int32_t length = 0;
    if (HostCheckText(text.data() + at, static_cast<int32_t>(piece), &offset, &length) == 1) {
      at += piece;
      continue;
    }
    size_t bad = at + static_cast<size_t>(offset);
    bool cutByPiece = at + piece < text.size() && bad + static_cast<size_t>(length) == at + piece;
    if (!cutByPiece || offset == 0) return BadSequence{bad, static_cast<size_t>(length)};
    at = bad;
  }
  return BadSequence{};
}

}  // namespace

bool IsAscii(std::string_view text) { return SkipAscii(text, 0) == text.size(); }

BadSequence FindBadUtf8(std::string_view text) {
  // No sequence holds an ASCII byte, so only the stretches between ASCII
  // runs need the engine's check, each on its own.
  for (size_t at = SkipAscii(text, 0); at < text.size(); at = SkipAscii(text, at)) {
    size_t end = at;
    while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x80) ++end;
    BadSequence bad = FindBadInStretch(text.substr(at, end - at));
    if (bad.length != 0) return BadSequence{at + bad.offset, bad.length};
    at = end;
  }
  return BadSequence{};
}

bool IsValidUtf8(std::string_view text) { return IsAscii(text) || FindBadUtf8(text).length == 0; }

size_t ReplaceBadUtf8(std::string_view text, std::string& out) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
  out.clear();
  size_t replaced = 0;
  while (!text.empty()) {
    BadSequence bad = FindBadUtf8(text);
    if (bad.length == 0) break;
    out.append(text.substr(0, bad.offset));
    out.append(kReplacement);
    text.remove_prefix(bad.offset + bad.length);
    ++replaced;
  }
  out.append(text);
  return replaced;
}

namespace {

// Line and byte of offset within buffer, carried on from the buffers before.
struct LineCounter {
  int64_t line = 1;
  int64_t lineStart = 0;  // file offset of the current line
  bool afterCr = false;
  void Take(const char* buffer, size_t size, int64_t fileOffset) {
    for (size_t i = 0; i < size; ++i) {
      char c = buffer[i];
      // CR LF, LF and CR alone each end one line.
      if (c == '\n' && afterCr) {
        lineStart = fileOffset + static_cast<int64_t>(i) + 1;
      } else if (c == '\n' || c == '\r') {
        ++line;
        lineStart = fileOffset + static_cast<int64_t>(i) + 1;
      }
      afterCr = c == '\r';
    }
  }
};

std::string HexBytes(std::string_view bytes) {
  std::string text;
  char one[8];
  for (unsigned char c : bytes) {
    std::snprintf(one, sizeof one, "%s0x%02X", text.empty() ? "" : " ", c);
    text += one;
  }
  return text;
}

}  // namespace

BadPlace LocateBadUtf8(std::string_view bytes) {
  BadPlace place;
  BadSequence bad = FindBadUtf8(bytes);
  if (bad.length == 0) return place;
  LineCounter lines;
  lines.Take(bytes.data(), bad.offset, 0);
  place.line = lines.line;
  place.byte = static_cast<int64_t>(bad.offset) - lines.lineStart + 1;
  place.bytes = HexBytes(bytes.substr(bad.offset, bad.length));
  return place;
}

BadPlace LocateBadUtf8At(std::string_view bytes, size_t offset, const std::function<void(size_t, size_t)>& passed) {
  const BadSequence bad = offset < bytes.size() ? FindBadUtf8(bytes.substr(offset)) : BadSequence{};
  if (bad.length == 0 || bad.offset != 0) return LocateBadUtf8(bytes);  // not where it was said to be
  constexpr size_t kStretch = size_t{4} << 20;
  LineCounter lines;
  for (size_t at = 0; at < offset; at += kStretch) {
    const size_t end = std::min(offset, at + kStretch);
    lines.Take(bytes.data() + at, end - at, static_cast<int64_t>(at));
    passed(at, end);
  }
  BadPlace place;
  place.line = lines.line;
  place.byte = static_cast<int64_t>(offset) - lines.lineStart + 1;
  place.bytes = HexBytes(bytes.substr(offset, bad.length));
  return place;
}

std::string BadUtf8Message(const std::string& path, const BadPlace& place) {
  return path + ":" + std::to_string(place.line) + ": byte " + std::to_string(place.byte) + " (" + place.bytes +
         ") is not valid UTF-8";
}

void ReportReplaced(std::string_view origin, size_t replaced) {
  if (replaced == 0) return;
  std::fprintf(stderr, "xevhost: %.*s: %zu invalid UTF-8 sequence%s replaced by U+FFFD\n",
               static_cast<int>(origin.size()), origin.data(), replaced, replaced == 1 ? "" : "s");
}

CodePageConverter::CodePageConverter(uint32_t codePage, bool replaceInvalid)
    : codePage_(codePage), replaceInvalid_(replaceInvalid) {
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
  if (this->utf8()) {
    if (!replaceInvalid_ || IsAscii(text)) {
      out.assign(text);
      return;
    }
    ReplaceBadUtf8(text, out);
    return;
  }
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

bool CodePageConverter::CheckInput(std::string_view text, const InputPlace& place, size_t& replaced,
                                   std::string& error) const {
  if (!utf8() || IsAscii(text)) return true;
  BadSequence bad = FindBadUtf8(text);
  if (bad.length == 0) return true;
  if (replaceInvalid_) {
    std::string scratch;
    replaced += ReplaceBadUtf8(text, scratch);
    return true;
  }
  error = std::string(place.origin) + ":" + std::to_string(place.line) + ": byte " + std::to_string(bad.offset + 1) +
          " (" + HexBytes(text.substr(bad.offset, bad.length)) + ") is not valid UTF-8; --replace-invalid puts U+FFFD in its place";
  return false;
}

}  // namespace xevhost
