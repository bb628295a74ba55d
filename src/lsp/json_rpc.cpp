#include "lsp/json_rpc.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The length a header block names; false when it names none or a bad one.
bool ParseContentLength(std::string_view headers, size_t* length) {
  bool found = false;
  while (!headers.empty()) {
    size_t end = headers.find("\r\n");
    std::string_view line = headers.substr(0, end);
    headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + 2);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    if (!EqualsIgnoringCase(Trim(line.substr(0, colon)), "Content-Length")) continue;
    const std::string_view value = Trim(line.substr(colon + 1));
    auto [next, error] = std::from_chars(value.data(), value.data() + value.size(), *length);
    if (error != std::errc() || next != value.data() + value.size() || value.empty()) return false;
    found = true;
  }
  return found;
}

}  // namespace

void FrameReader::Feed(std::string_view bytes) {
  if (broken_) return;
  if (skipping_ > 0) {
    const size_t dropped = std::min(skipping_, bytes.size());
    skipping_ -= dropped;
    bytes.remove_prefix(dropped);
  }
  buffer_.append(bytes);
}

bool FrameReader::ReadHeader(Frame* frame) {
  const size_t end = buffer_.find("\r\n\r\n");
  if (end == std::string::npos) {
    if (buffer_.size() <= kMaxHeaderBytes) return false;
    broken_ = true;
    *frame = {Frame::kBadHeader, "a header block without its end"};
    return true;
  }
  size_t length = 0;
  if (end > kMaxHeaderBytes ||
      !ParseContentLength(std::string_view(buffer_).substr(0, end), &length)) {
    broken_ = true;
    *frame = {Frame::kBadHeader, "a header block without a valid Content-Length"};
    return true;
  }
  buffer_.erase(0, end + 4);
  if (length > kMaxMessageBytes) {
    const size_t here = std::min(length, buffer_.size());
    buffer_.erase(0, here);
    skipping_ = length - here;
    *frame = {Frame::kTooLarge, "a message of " + std::to_string(length) + " bytes"};
    return true;
  }
  body_length_ = length;
  in_body_ = true;
  return false;
}

bool FrameReader::Next(Frame* frame) {
  if (broken_ || skipping_ > 0) return false;
  if (!in_body_ && ReadHeader(frame)) return true;
  if (!in_body_ || buffer_.size() < body_length_) return false;
  *frame = {Frame::kMessage, buffer_.substr(0, body_length_)};
  buffer_.erase(0, body_length_);
  in_body_ = false;
  return true;
}

std::string DumpJson(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string FrameMessage(const nlohmann::json& message) {
  const std::string body = DumpJson(message);
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
