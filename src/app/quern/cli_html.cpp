// quern html [--form 1|2] FILE: the score text converted for an HTML page,
// as the editor would put it on the clipboard, on standard output. The bytes
// keep the file's own encoding.
#include <cstdio>
#include <string>

#include "app/quern/cli.h"
#include "app/quern/help.h"
#include "files/file_io.h"
#include "files/score_text.h"
#include "shell/html.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "quern html: %s\n", message.c_str());
  return 2;
}

}  // namespace

int RunHtml(const Args& args) {
  HtmlForm form = HtmlForm::kEscaped;
  std::string path;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--form") {
      if (i + 1 >= args.size()) return ReportUsageError("html", "--form needs 1 or 2");
      const std::string& f = args[++i];
      if (f == "1") {
        form = HtmlForm::kEscaped;
      } else if (f == "2") {
        form = HtmlForm::kLineBreaks;
      } else {
        return ReportUsageError("html", "--form must be 1 or 2, not '" + f + "'");
      }
    } else if (a.size() > 1 && a[0] == '-') {
      return ReportUsageError("html", "unknown option '" + a + "'");
    } else if (path.empty()) {
      path = a;
    } else {
      return ReportUsageError("html", "more than one file: '" + a + "'");
    }
  }
  if (path.empty()) return ReportUsageError("html", "no file given");
  // The name goes to the system as it is: any name the system can open,
  // whatever its encoding.
  std::string bytes, error;
  if (!ReadFileChecked(path, kMaxInputFileBytes, &bytes, &error)) return Fail(error);
  // The editor holds every line break as CR LF; a lone CR would otherwise be
  // dropped and join two lines.
  std::string html = ConvertToHtml(NormaliseLineBreaks(bytes), form);
  // A failed write is said once standard output is closed (main.cpp).
  std::fwrite(html.data(), 1, html.size(), stdout);
  return 0;
}
