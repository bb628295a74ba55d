// The language server's dispatcher: one JSON-RPC message in, the messages to
// send out, with the documents the client has open.
//
// In: message bodies (json_rpc.h frames) and the time they arrive; the
//   playback port for the play commands (may be null: they then fail).
// Out: responses, and notifications due by a given time: publishDiagnostics
//   on open at once, after changes once the debounce has passed without a
//   further change; while a song started by a play command plays,
//   quern/playhead (uri, line, character, tick) every kPlayheadInterval when
//   the note last struck has moved to another place.
// Errors are responses: malformed JSON (-32700), a message that is no request
//   (-32600), an unknown method (-32601), bad parameters or a position outside
//   the document (-32602), a request before initialize (-32002) or after
//   shutdown (-32600), a command that cannot run (-32803). Unknown
//   notifications are ignored. After "exit" the server has finished, with
//   exit code 0 when shutdown came first and 1 otherwise.
// Thread: one thread; a Server holds its own Compilation.
#ifndef QUERN_LSP_SERVER_H_
#define QUERN_LSP_SERVER_H_

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "lsp/analysis.h"
#include "lsp/document.h"
#include "lsp/playback.h"
#include "lsp/score_outline.h"

class Compilation;

constexpr std::chrono::milliseconds kPlayheadInterval{100};

struct ServerOptions {
  std::string version = "0";
  std::chrono::milliseconds debounce{150};
};

class Server {
 public:
  using Clock = std::chrono::steady_clock;
  using Json = nlohmann::json;

  Server(PlaybackPort* playback, ServerOptions options);
  ~Server();

  std::vector<Json> Handle(std::string_view body, Clock::time_point now);
  // The answer to a frame that could not be read (json_rpc.h).
  Json FrameError(const std::string& why) const;
  // Diagnostics whose debounce has passed by now.
  std::vector<Json> Flush(Clock::time_point now);
  // When Flush has something next; nullopt when nothing waits.
  std::optional<Clock::time_point> NextDue() const;

  bool Finished() const { return finished_; }
  int ExitCode() const { return shutdown_ ? 0 : 1; }

 private:
  struct OpenDocument {
    Document document;
    std::optional<Analysis> analysis;      // of the document's current version
    std::optional<ScoreIndex> index;       // likewise
    std::optional<Clock::time_point> due;  // diagnostics to publish
  };
  // Where the playing song's notes were written, for quern/playhead.
  struct Playhead {
    std::string uri;
    std::vector<std::pair<int64_t, TextPosition>> notes;  // by sequencer tick
    TextPosition sent{-1, -1};
    Clock::time_point due;
  };
  struct Reply {
    Json result;
    std::optional<std::pair<int, std::string>> error;
  };

  Reply Request(const std::string& method, const Json& params);
  void Notification(const std::string& method, const Json& params, Clock::time_point now,
                    std::vector<Json>* out);
  Reply DocumentRequest(const std::string& method, const Json& params);
  Reply ExecuteCommand(const Json& params);
  Analysis& Analysed(OpenDocument& open);
  const ScoreIndex& Indexed(OpenDocument& open);
  Json Publish(const std::string& uri, OpenDocument& open);
  void FollowPlayhead(const std::string& uri, const OpenDocument& open, int64_t start);
  std::optional<Json> PlayheadNote(Clock::time_point now);

  PlaybackPort* playback_;
  ServerOptions options_;
  std::unique_ptr<Compilation> compilation_;
  std::map<std::string, OpenDocument> documents_;
  std::optional<Playhead> playhead_;
  Clock::time_point now_{};  // of the message being handled
  bool initialized_ = false;
  bool shutdown_ = false;
  bool finished_ = false;
};

#endif  // QUERN_LSP_SERVER_H_
