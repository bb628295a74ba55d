// The byte-level text rules of text_codec.h (line breaks, the UTF-8 test),
// kept apart from the Qt conversions so that the command line can use them
// without loading Qt.
#include <string>
#include <string_view>

#include "shell/text_codec.h"

std::string NormaliseLineBreaks(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 16);
  for (size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\r') {
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      out += "\r\n";
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

bool LooksLikeUtf8(std::string_view bytes) {
  bool bom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
  bool non_ascii = false;
  size_t i = 0;
  while (i < bytes.size()) {
    auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    non_ascii = true;
    int more;
    char32_t c;
    if (b >= 0xC2 && b <= 0xDF) {
      more = 1, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      more = 2, c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      more = 3, c = b & 0x07;
    } else {
      return false;
    }
    if (i + more >= bytes.size()) return false;  // cut short
    for (int k = 1; k <= more; ++k) {
      auto t = static_cast<unsigned char>(bytes[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    if ((more == 2 && c < 0x800) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF)) {
      return false;
    }
    i += more + 1;
  }
  return bom || non_ascii;
}
