// An open document: its UTF-8 text, its version, and edits in protocol
// positions (line, UTF-16 column).
//
// In: the text a client opened and the changes it sends, whole or ranged.
// Out: the text after each change, its lines (text_lines.h).
// Errors: a position past the end of a line or of the document clamps to
//   that end (a client that miscounts loses no text beyond its edit); a
//   range whose end lies before its start is taken as empty at its start.
// Thread: one document is used from one thread.
#ifndef QUERN_LSP_DOCUMENT_H_
#define QUERN_LSP_DOCUMENT_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct TextPosition {
  int line = 0;
  int character = 0;  // UTF-16 code units
  friend bool operator==(const TextPosition&, const TextPosition&) = default;
};

struct TextRange {
  TextPosition start, end;
  friend bool operator==(const TextRange&, const TextRange&) = default;
};

class Document {
 public:
  Document() = default;
  Document(std::string text, int version) : text_(std::move(text)), version_(version) { Split(); }

  void Replace(std::string text, int version);
  void Edit(const TextRange& range, std::string_view text, int version);

  const std::string& Text() const { return text_; }
  int Version() const { return version_; }
  int LineCount() const { return static_cast<int>(lines_.size()); }
  // The line's text (empty for lines outside the document).
  std::string_view Line(int line) const;
  // Whether position names a place in the document (a column at the line's
  // end counts).
  bool Contains(const TextPosition& position) const;

 private:
  void Split();
  size_t Offset(const TextPosition& position) const;

  std::string text_;
  int version_ = 0;
  // Each line's offset and length in text_: offsets stay valid when the
  // document is copied or moved, views would not.
  std::vector<std::pair<size_t, size_t>> lines_;
};

#endif  // QUERN_LSP_DOCUMENT_H_
