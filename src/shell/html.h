// Score text to text for an HTML page, in two forms.
//
// In: the editor's text as bytes (Shift-JIS, lines separated by CR LF; the
// last line has a CR LF only when the text ends with a line break). Any byte
// sequence is accepted; a UTF-8 text converts the same way, because only the
// ASCII bytes CR, LF, "<", ">" and "&" are touched and no multi-byte
// character of either encoding holds them.
// Out: the converted bytes. Form 1 escapes "<", ">" and "&" as "&lt", "&gt"
// and "&amp" (no semicolon); form 2 also puts "<BR>" before each line break.
// CR bytes are dropped and every line, the last one included, ends with
// CR LF. An empty text gives an empty result.
// What can go wrong: nothing. The result is sized for the worst case before
// it is written, so a text dense in "&" or line breaks converts whole.
//
// The editor puts the result on the clipboard as plain text and then shows
// "変換結果をクリップボードにコピーしました。" with caption
// "Quern MIDI Information".
#ifndef QUERN_SHELL_HTML_H_
#define QUERN_SHELL_HTML_H_

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

enum class HtmlForm {
  kEscaped = 1,     // "HTML形式(1)": escapes only
  kLineBreaks = 2,  // "HTML形式(2)": escapes and "<BR>" at each line break
};

std::string ConvertToHtml(std::string_view text, HtmlForm form);

// The same conversion on the editor's Unicode text (lines separated by "\n",
// each standing for CR LF), with no trip through an encoding: the result is
// what the clipboard takes, whatever encoding the score file has.
QString ConvertToHtml(const QString& editor_text, HtmlForm form);

// What one special byte (CR, LF, "<", ">", "&") becomes; CR and any other
// byte give an empty view.
std::string_view HtmlReplacement(char c, HtmlForm form);
bool HtmlIsSpecial(char c);

// The exact number of bytes ConvertToHtml produces for text.
std::size_t HtmlOutputSize(std::string_view text, HtmlForm form);

#endif  // QUERN_SHELL_HTML_H_
