// The language server's message reader and dispatcher.
//
// Input: bytes as a client would write them. They go to the frame reader in
// pieces, and every frame it yields goes to a server that has been
// initialized and holds one open score; the same input is also cut at NUL
// bytes and each piece handed to the dispatcher as a message body, so that
// requests reach the answers without the fuzzer having to learn the framing.
// Diagnostics that fall due are flushed along the way.
//
// The run stops (abort) when
//   - a request (a message with a method and an id) gets no response, or a
//     response with another id;
//   - a notification gets a response.
// Crashes, hangs and unbounded memory are caught by the fuzzer itself.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "lsp/json_rpc.h"
#include "lsp/server.h"

namespace {

using Json = nlohmann::json;

// Plays nothing: the play commands still resolve their ticks.
class SilentPlayback : public PlaybackPort {
 public:
  bool Play(std::vector<uint8_t>, int64_t, int64_t, std::string*) override { return true; }
  void Stop() override {}
  int64_t PlayingTick() override { return 100; }
};

[[noreturn]] void Fail(const char* what, std::string_view body) {
  std::fprintf(stderr, "lsp: %s: %.*s\n", what,
               static_cast<int>(std::min<size_t>(body.size(), 200)), body.data());
  std::abort();
}

void Check(Server& server, std::string_view body, Server::Clock::time_point now) {
  const Json message = Json::parse(body, nullptr, false);
  const std::vector<Json> out = server.Handle(body, now);
  if (message.is_discarded() || !message.is_object()) return;
  const auto id = message.find("id");
  const auto method = message.find("method");
  if (method == message.end() || !method->is_string()) return;
  const bool request = id != message.end();
  size_t responses = 0;
  for (const Json& m : out) {
    if (!m.contains("id")) continue;
    ++responses;
    if (request && (id->is_number_integer() || id->is_string()) && m["id"] != *id) {
      Fail("a response with another id", body);
    }
  }
  if (request && responses != 1 && !server.Finished()) Fail("a request without one response", body);
  if (!request && responses != 0) Fail("a notification answered", body);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  SilentPlayback playback;
  Server server(&playback, ServerOptions{"fuzz", std::chrono::milliseconds(10)});
  Server::Clock::time_point now{};
  server.Handle(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{}})", now);
  server.Handle(
      R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":)"
      R"({"uri":"file:///f.qrn","version":1,"text":"%M c d\nA o4 l8 [c %M]2 ド\n*A e\nB r %M\n"}}})",
      now);

  FrameReader reader;
  const size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
  for (size_t at = 0; at < size && !server.Finished(); at += piece) {
    reader.Feed(input.substr(at, piece));
    Frame frame;
    while (reader.Next(&frame) && !server.Finished()) {
      if (frame.kind == Frame::kMessage) Check(server, frame.body, now);
    }
    now += std::chrono::milliseconds(5);
    server.Flush(now);
  }

  size_t start = 0;
  while (start <= size && !server.Finished()) {
    size_t end = input.find('\0', start);
    if (end == std::string_view::npos) end = size;
    Check(server, input.substr(start, end - start), now);
    start = end + 1;
  }
  server.Flush(now + std::chrono::seconds(1));
  return 0;
}
