#include "shell/html.h"

namespace {

// After the byte walk the only line breaks are the CR LF written for LF, so
// splitting at CR LF, CR or LF and joining with CR LF after every line only
// adds a CR LF to a last line that lacks one.
bool NeedsFinalBreak(std::string_view text) {
  size_t end = text.find_last_not_of('\r');
  return end != std::string_view::npos && text[end] != '\n';
}

}  // namespace

std::string_view HtmlReplacement(char c, HtmlForm form) {
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

bool HtmlIsSpecial(char c) {
  return c == '\r' || c == '\n' || c == '<' || c == '>' || c == '&';
}

std::size_t HtmlOutputSize(std::string_view text, HtmlForm form) {
  std::size_t size = 0;
  for (char c : text) size += HtmlIsSpecial(c) ? HtmlReplacement(c, form).size() : 1;
  if (NeedsFinalBreak(text)) size += 2;
  return size;
}

std::string ConvertToHtml(std::string_view text, HtmlForm form) {
  std::string out;
  out.reserve(HtmlOutputSize(text, form));
  for (char c : text) {
    if (HtmlIsSpecial(c)) {
      out += HtmlReplacement(c, form);
    } else {
      out += c;
    }
  }
  if (NeedsFinalBreak(text)) out += "\r\n";
  return out;
}
