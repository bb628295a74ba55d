// The HTML conversion of html.h on the editor's Unicode text.
#include "shell/html.h"

QString ConvertToHtml(const QString& editor_text, HtmlForm form) {
  QString out;
  out.reserve(editor_text.size() + editor_text.size() / 8 + 16);
  for (QChar ch : editor_text) {
    char c = ch.unicode() < 0x80 ? static_cast<char>(ch.unicode()) : 0;
    if (c == '\r') continue;
    if (HtmlIsSpecial(c)) {
      out += QLatin1StringView(HtmlReplacement(c, form).data(), HtmlReplacement(c, form).size());
    } else {
      out += ch;
    }
  }
  if (!out.isEmpty() && !out.endsWith(QLatin1StringView("\r\n"))) out += QLatin1StringView("\r\n");
  return out;
}
