// JSON-RPC messages over a byte stream, framed by a Content-Length header.
//
// In: the bytes a client writes, in pieces of any size (FrameReader::Feed).
// Out: each message's body, in order (FrameReader::Next); the bytes of one
//   framed message to write back (FrameMessage).
// Errors are values: a message longer than kMaxMessageBytes is skipped
//   unread and comes out as kTooLarge; a header block that does not name a
//   length, names a bad one, or runs past kMaxHeaderBytes comes out as
//   kBadHeader, after which the stream cannot be trusted and the reader
//   yields nothing more.
// Thread: one FrameReader per stream, used from one thread.
#ifndef QUERN_LSP_JSON_RPC_H_
#define QUERN_LSP_JSON_RPC_H_

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

constexpr size_t kMaxMessageBytes = size_t{64} << 20;
constexpr size_t kMaxHeaderBytes = 8192;

struct Frame {
  enum Kind { kMessage, kTooLarge, kBadHeader };
  Kind kind = kMessage;
  std::string body;  // kMessage: the JSON text; otherwise why
};

class FrameReader {
 public:
  void Feed(std::string_view bytes);
  // The next complete frame; false when more bytes are needed.
  bool Next(Frame* frame);
  bool Broken() const { return broken_; }

 private:
  bool ReadHeader(Frame* frame);

  std::string buffer_;
  size_t body_length_ = 0;
  bool in_body_ = false;
  size_t skipping_ = 0;  // bytes of a too large body still to drop
  bool broken_ = false;
};

// "Content-Length: N\r\n\r\n" and the JSON text; text that is not UTF-8 is
// replaced, never thrown on.
std::string FrameMessage(const nlohmann::json& message);
std::string DumpJson(const nlohmann::json& value);

#endif  // QUERN_LSP_JSON_RPC_H_
