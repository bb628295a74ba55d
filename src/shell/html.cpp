#include "shell/html.h"

namespace {

// What one input byte becomes; CR becomes nothing.
std::string_view Replacement(char c, HtmlForm form) {
  switch (c) {
    case '\r':
      return {};
    case '\n':
      return form == HtmlForm::kLineBreaks ? "<BR>\r\n" : "\r\n";
    case '<':
      return "&lt";
    case '>':
      return "&gt";
    case '&':
      return "&amp";
    default:
      return {};
  }
}

bool IsSpecial(char c) {
  return c == '\r' || c == '\n' || c == '<' || c == '>' || c == '&';
}

// After the byte walk the only line breaks are the CR LF written for LF, so
// splitting at CR LF, CR or LF and joining with CR LF after every line only
// adds a CR LF to a last line that lacks one.
bool NeedsFinalBreak(std::string_view text) {
  size_t end = text.find_last_not_of('\r');
  return end != std::string_view::npos && text[end] != '\n';
}

}  // namespace

std::size_t HtmlOutputSize(std::string_view text, HtmlForm form) {
  std::size_t size = 0;
  for (char c : text) size += IsSpecial(c) ? Replacement(c, form).size() : 1;
  if (NeedsFinalBreak(text)) size += 2;
  return size;
}

std::string ConvertToHtml(std::string_view text, HtmlForm form) {
  std::string out;
  out.reserve(HtmlOutputSize(text, form));
  for (char c : text) {
    if (IsSpecial(c)) {
      out += Replacement(c, form);
    } else {
      out += c;
    }
  }
  if (NeedsFinalBreak(text)) out += "\r\n";
  return out;
}

QString ConvertToHtml(const QString& editor_text, HtmlForm form) {
  QString out;
  out.reserve(editor_text.size() + editor_text.size() / 8 + 16);
  for (QChar ch : editor_text) {
    char c = ch.unicode() < 0x80 ? static_cast<char>(ch.unicode()) : 0;
    if (c == '\r') continue;
    if (IsSpecial(c)) {
      out += QLatin1StringView(Replacement(c, form).data(), Replacement(c, form).size());
    } else {
      out += ch;
    }
  }
  if (!out.isEmpty() && !out.endsWith(QLatin1StringView("\r\n"))) out += QLatin1StringView("\r\n");
  return out;
}
