#include "syntax/score_classes.h"

namespace {

bool IsUpper(char16_t c) {
  return c >= u'A' && c <= u'Z';
}
bool IsLetter(char16_t c) {
  return IsUpper(c) || (c >= u'a' && c <= u'z');
}
bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}
bool IsHexDigit(char16_t c) {
  return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
bool IsNameChar(char16_t c) {
  return IsLetter(c) || IsDigit(c) || c == u'_';
}
bool IsCallChar(char16_t c) {
  return IsLetter(c) || IsDigit(c);
}
bool IsCommonChar(char16_t c) {
  return IsUpper(c) || c == u'-' || c == u'~';
}

int RunEnd(std::u16string_view text, int i, bool (*in_run)(char16_t)) {
  while (i < static_cast<int>(text.size()) && in_run(text[i])) ++i;
  return i;
}

int Find(std::u16string_view text, std::u16string_view what, int from) {
  const size_t at = text.find(what, static_cast<size_t>(from));
  return at == std::u16string_view::npos ? -1 : static_cast<int>(at);
}

class LineClassifier {
 public:
  LineClassifier(std::u16string_view text, std::vector<ClassRun>* runs)
      : text_(text), size_(static_cast<int>(text.size())), runs_(runs) {}

  // Classes the line's sign and name; returns where the body starts, or -1
  // for a line that is no score text.
  int LineStart() {
    if (size_ == 0) return -1;
    const char16_t first = text_[0];
    if (first == u'#') return Rest(0, ScoreClass::kHeader);
    if (IsUpper(first)) return Mark(0, RunEnd(text_, 0, IsNameChar), ScoreClass::kTrack);
    if (first == u'%' || first == u'@') {
      return Mark(0, RunEnd(text_, 1, IsNameChar), ScoreClass::kMacro);
    }
    if (first == u'*') return Mark(0, RunEnd(text_, 1, IsCommonChar), ScoreClass::kCommon);
    if (first == u'+') return Mark(0, 1, ScoreClass::kContinuation);
    return Rest(0, ScoreClass::kComment);
  }

  // Classes the body from i; returns whether a block comment stays open.
  bool Body(int i) {
    int byte_list_depth = 0;
    while (i < size_) {
      const char16_t c = text_[i];
      const char16_t next = i + 1 < size_ ? text_[i + 1] : 0;
      const int start = i;
      if (c == u'/' && next == u'/') {
        Rest(i, ScoreClass::kComment);
        return false;
      }
      if (c == u'/' && next == u'*') {
        const int end = Find(text_, u"*/", i + 2);
        if (end < 0) {
          Rest(i, ScoreClass::kComment);
          return true;
        }
        i = Mark(i, end + 2, ScoreClass::kComment);
        continue;
      }
      if (c == u'"') {
        const int end = Find(text_, u"\"", i + 1);
        i = Mark(i, end < 0 ? size_ : end + 1, ScoreClass::kQuoted);
        continue;
      }
      if (IsDigit(c)) {
        i = Mark(start, RunEnd(text_, i, IsDigit), ScoreClass::kNumber);
        continue;
      }
      if (c == u'$' && IsHexDigit(next)) {
        i = Mark(start, RunEnd(text_, i + 1, IsHexDigit), ScoreClass::kNumber);
        continue;
      }
      if (IsUpper(c)) {
        i = Mark(start, RunEnd(text_, i, IsLetter), ScoreClass::kAttribute);
        continue;
      }
      if ((c == u'%' || c == u'@') && IsLetter(next)) {
        i = Mark(start, RunEnd(text_, i + 1, IsCallChar), ScoreClass::kMacroUse);
        continue;
      }
      if (c == u'{') ++byte_list_depth;
      if (byte_list_depth > 0) {
        Mark(i, i + 1, ScoreClass::kBytes);
        if (c == u'}') --byte_list_depth;
      } else if (c == u'[' || c == u']' || c == u'/' || c == u'|') {
        Mark(i, i + 1, ScoreClass::kLoop);
      } else if (std::u16string_view(u"abcdefgr").find(c) != std::u16string_view::npos) {
        Mark(i, i + 1, ScoreClass::kNote);
      } else if (IsLetter(c) || c == u'<' || c == u'>' || c == u'@') {
        Mark(i, i + 1, ScoreClass::kCommand);
      }
      ++i;
    }
    return false;
  }

  // Classes [start, end) and returns end.
  int Mark(int start, int end, ScoreClass score_class) {
    if (end > start) runs_->push_back({start, end - start, score_class});
    return end;
  }
  // Classes everything from start; returns -1 (no body follows).
  int Rest(int start, ScoreClass score_class) {
    Mark(start, size_, score_class);
    return -1;
  }

 private:
  std::u16string_view text_;
  int size_;
  std::vector<ClassRun>* runs_;
};

}  // namespace

std::vector<ClassRun> ClassifyScoreLine(std::u16string_view line, bool* in_block_comment) {
  std::vector<ClassRun> runs;
  LineClassifier classifier(line, &runs);
  int from = 0;
  if (*in_block_comment) {
    const int end = Find(line, u"*/", 0);
    if (end < 0) {
      classifier.Rest(0, ScoreClass::kComment);
      return runs;
    }
    from = classifier.Mark(0, end + 2, ScoreClass::kComment);
  } else {
    from = classifier.LineStart();
    if (from < 0) {
      *in_block_comment = false;
      return runs;
    }
  }
  *in_block_comment = classifier.Body(from);
  return runs;
}
