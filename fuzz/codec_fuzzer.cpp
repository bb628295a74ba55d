// The score text codec: any file loaded and saved again must give back its
// bytes, every line break made CR LF as loading defines.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "shell/text_codec.h"

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
  return 0;
}
