#include "import/import_text.h"

#include "files/score_text.h"

std::string TextLine(std::string_view bytes) {
  std::string utf8;
  int undecodable = 0;
  if (FirstInvalidUtf8(bytes) == std::string_view::npos) {
    utf8 = std::string(bytes);
  } else if (utf8 = ShiftJisToUtf8(bytes, &undecodable); undecodable > 0) {
    utf8.clear();
    for (char c : bytes) {
      const auto b = static_cast<uint8_t>(c);
      if (b < 0x80) {
        utf8 += c;
      } else {
        utf8 += static_cast<char>(0xc0 | (b >> 6));
        utf8 += static_cast<char>(0x80 | (b & 0x3f));
      }
    }
  }
  // C0 and C1 controls and the Unicode line and paragraph separators.
  std::string line;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    const auto next = i + 1 < utf8.size() ? static_cast<uint8_t>(utf8[i + 1]) : 0;
    const auto third = i + 2 < utf8.size() ? static_cast<uint8_t>(utf8[i + 2]) : 0;
    if (b < 0x20 || b == 0x7f) {
      line += ' ';
    } else if (b == 0xc2 && next >= 0x80 && next <= 0x9f) {
      line += ' ';
      ++i;
    } else if (b == 0xe2 && next == 0x80 && (third == 0xa8 || third == 0xa9)) {
      line += ' ';
      i += 2;
    } else {
      line += utf8[i];
    }
  }
  const size_t first = line.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  line = line.substr(first, line.find_last_not_of(' ') - first + 1);
  // A comment or title of a few hundred bytes says what it has to say.
  constexpr size_t kLongest = 480;
  if (line.size() > kLongest) {
    size_t cut = kLongest;
    while (cut > 0 && (static_cast<uint8_t>(line[cut]) & 0xc0) == 0x80) --cut;
    line = line.substr(0, cut) + "...";
  }
  return line;
}
