// Writing code points as UTF-8, and the check a host runs over text before it
// hands it to the engine under code page 65001.
#include "host/utf8.h"

#include <cstring>

#include "xev/xevhost.h"

namespace xev::host {

int Utf8Encode(char32_t ch, char* out) {
  int size = Utf8Size(ch);
  static constexpr unsigned char kLeadMarks[] = {0, 0, 0xC0, 0xE0, 0xF0};
  for (int i = size - 1; i > 0; --i) {
    out[i] = static_cast<char>(0x80 | (ch & 0x3F));
    ch >>= 6;
  }
  out[0] = static_cast<char>(kLeadMarks[size] | ch);
  return size;
}

}  // namespace xev::host

extern "C" {

XEV_API int32_t XEV_CALL HostCheckText(const char* text, int32_t length, int32_t* badOffset,
                                       int32_t* badLength) {
  if (badOffset != nullptr) *badOffset = 0;
  if (badLength != nullptr) *badLength = 0;
  if (text == nullptr) return 1;
  size_t size = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
  for (size_t at = 0; at < size;) {
    int sequence = xev::host::Utf8Sequence(text + at, size - at);
    if (sequence < 0) {
      if (badOffset != nullptr) *badOffset = static_cast<int32_t>(at);
      if (badLength != nullptr) *badLength = -sequence;
      return 0;
    }
    at += static_cast<size_t>(sequence);
  }
  return 1;
}

}  // extern "C"
