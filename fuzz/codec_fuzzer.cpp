// The score text codec: any file loaded and saved again must give back its
// bytes, every line break made CR LF as loading defines. Characters counted
// before a byte offset (the diagnostics' character columns) grow by at most
// one per byte and, at the end of a line, are the characters it decodes to.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "files/score_text.h"
#include "fuzz_support.h"
#include "shell/text_codec.h"

namespace {

int CodePoints(std::string_view utf8) {
  int n = 0;
  for (char c : utf8) n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  return n;
}

void CheckCharacterCounts(std::string_view bytes) {
  const std::string_view line = bytes.substr(0, std::min<size_t>(bytes.find_first_of("\r\n"), 64));
  int before = 0;
  for (size_t k = 0; k <= line.size() + 2; ++k) {
    const int count = ShiftJisCharactersBefore(line, k);
    if (count < before || count > before + 1 || count > static_cast<int>(k)) {
      std::fprintf(stderr, "characters before %zu: %d after %d\n", k, count, before);
      std::abort();
    }
    before = count;
  }
  if (ShiftJisCharactersBefore(line, line.size()) != CodePoints(ShiftJisToUtf8(line))) {
    std::fprintf(stderr, "characters of the whole line differ from its decoding\n");
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const DecodedScore decoded = DecodeScore(bytes);
  const EncodedScore encoded = EncodeScoreText(decoded.text, decoded.format);
  if (encoded.bytes != NormaliseLineBreaks(bytes) || encoded.unencodable != 0) {
    std::fprintf(stderr, "load then save changed the bytes (%zu in, %zu out)\n", size,
                 encoded.bytes.size());
    std::abort();
  }
  // The plain conversions take anything too.
  EncodeShiftJis(DecodeShiftJis(bytes));
  CheckCharacterCounts(bytes);
  return 0;
}
