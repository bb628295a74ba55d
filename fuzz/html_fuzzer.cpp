// HTML conversion of any text, in both forms, from bytes and from the
// editor's text. The byte result must have exactly the announced size.
#include <QString>

#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "shell/html.h"
#include "shell/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = NormaliseLineBreaks(bytes);
  for (HtmlForm form : {HtmlForm::kEscaped, HtmlForm::kLineBreaks}) {
    if (ConvertToHtml(text, form).size() != HtmlOutputSize(text, form)) std::abort();
    ConvertToHtml(DecodeScore(bytes).text, form);
  }
  return 0;
}
