#include "lsp/server.h"

#include <algorithm>

#include "compiler/driver/driver.h"
#include "live/play_range.h"
#include "lsp/answers.h"
#include "lsp/json_rpc.h"
#include "lsp/text_lines.h"

namespace {

using Json = nlohmann::json;

constexpr int kParseError = -32700, kInvalidRequest = -32600, kMethodNotFound = -32601,
              kInvalidParams = -32602, kNotInitialized = -32002, kRequestFailed = -32803;

constexpr const char* kCommands[] = {"quern.play", "quern.playFromCursor", "quern.playSelection",
                                     "quern.stop"};

Json Response(const Json& id, const Json& result) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"result", result}};
}

Json ErrorResponse(const Json& id, int code, const std::string& message) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

const Json* Member(const Json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(name);
  return it == object.end() ? nullptr : &*it;
}

std::optional<std::string> StringAt(const Json& object, const char* name) {
  const Json* value = Member(object, name);
  if (value == nullptr || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

std::optional<int> IntAt(const Json& object, const char* name) {
  const Json* value = Member(object, name);
  if (value == nullptr || !value->is_number_integer()) return std::nullopt;
  const int64_t v = value->get<int64_t>();
  if (v < 0 || v > 0x7fffffff) return std::nullopt;
  return static_cast<int>(v);
}

std::optional<TextPosition> PositionOf(const Json* value) {
  if (value == nullptr) return std::nullopt;
  const std::optional<int> line = IntAt(*value, "line"), character = IntAt(*value, "character");
  if (!line || !character) return std::nullopt;
  return TextPosition{*line, *character};
}

std::optional<TextRange> RangeOf(const Json* value) {
  if (value == nullptr) return std::nullopt;
  const std::optional<TextPosition> start = PositionOf(Member(*value, "start"));
  const std::optional<TextPosition> end = PositionOf(Member(*value, "end"));
  if (!start || !end) return std::nullopt;
  return TextRange{*start, *end};
}

std::optional<std::string> DocumentUri(const Json& params) {
  const Json* document = Member(params, "textDocument");
  return document != nullptr ? StringAt(*document, "uri") : std::nullopt;
}

Json Capabilities() {
  return {{"textDocumentSync", {{"openClose", true}, {"change", 2}}},
          {"hoverProvider", true},
          {"completionProvider", {{"triggerCharacters", {"%", "@"}}}},
          {"definitionProvider", true},
          {"referencesProvider", true},
          {"renameProvider", true},
          {"documentSymbolProvider", true},
          {"semanticTokensProvider", {{"legend", SemanticTokensLegend()}, {"full", true}}},
          {"executeCommandProvider", {{"commands", kCommands}}}};
}

Json DiagnosticJson(const LspDiagnostic& d) {
  return {{"range", RangeJson(d.range)},
          {"severity", d.severity},
          {"source", "quern"},
          {"message", d.message}};
}

}  // namespace

Server::Server(PlaybackPort* playback, ServerOptions options)
    : playback_(playback),
      options_(std::move(options)),
      compilation_(std::make_unique<Compilation>()) {}

Server::~Server() = default;

Json Server::FrameError(const std::string& why) const {
  return ErrorResponse(nullptr, kInvalidRequest, why);
}

std::vector<Json> Server::Handle(std::string_view body, Clock::time_point now) {
  std::vector<Json> out;
  now_ = now;
  Json message = Json::parse(body, nullptr, false);
  if (message.is_discarded()) {
    out.push_back(ErrorResponse(nullptr, kParseError, "the message is not JSON"));
    return out;
  }
  const Json* id = Member(message, "id");
  const std::optional<std::string> method = StringAt(message, "method");
  const bool id_valid = id != nullptr && (id->is_number_integer() || id->is_string());
  if (!method) {
    // A response to a request of ours (the server sends none) or no message.
    if (id == nullptr || (!Member(message, "result") && !Member(message, "error"))) {
      out.push_back(ErrorResponse(id_valid ? *id : Json(), kInvalidRequest, "not a request"));
    }
    return out;
  }
  // Parameters are read in place: a copy of deeply nested JSON would recurse
  // once per level.
  static const Json kNoParams = Json::object();
  const Json* params_member = Member(message, "params");
  const Json& params = params_member != nullptr ? *params_member : kNoParams;
  if (id == nullptr) {
    Notification(*method, params, now, &out);
    return out;
  }
  if (!id_valid) {
    out.push_back(
        ErrorResponse(nullptr, kInvalidRequest, "the id is neither a number nor a string"));
    return out;
  }
  Reply reply;
  if (*method == "initialize") {
    initialized_ = true;
    reply.result = {{"capabilities", Capabilities()},
                    {"serverInfo", {{"name", "quern"}, {"version", options_.version}}}};
  } else if (!initialized_) {
    reply.error = {kNotInitialized, "the server has not been initialized"};
  } else if (shutdown_) {
    reply.error = {kInvalidRequest, "the server is shutting down"};
  } else {
    reply = Request(*method, params);
  }
  out.push_back(reply.error ? ErrorResponse(*id, reply.error->first, reply.error->second)
                            : Response(*id, reply.result));
  return out;
}

void Server::Notification(const std::string& method, const Json& params, Clock::time_point now,
                          std::vector<Json>* out) {
  if (method == "exit") {
    finished_ = true;
    return;
  }
  if (!initialized_ || shutdown_) return;
  const std::optional<std::string> uri = DocumentUri(params);
  if (!uri) return;
  const Json* document = Member(params, "textDocument");
  const int version = IntAt(*document, "version").value_or(0);
  if (method == "textDocument/didOpen") {
    const std::optional<std::string> text = StringAt(*document, "text");
    if (!text) return;
    OpenDocument& open = documents_[*uri];
    open = OpenDocument{Document(*text, version), std::nullopt, std::nullopt, std::nullopt};
    out->push_back(Publish(*uri, open));
  } else if (method == "textDocument/didChange") {
    const auto it = documents_.find(*uri);
    const Json* changes = Member(params, "contentChanges");
    if (it == documents_.end() || changes == nullptr || !changes->is_array()) return;
    OpenDocument& open = it->second;
    for (const Json& change : *changes) {
      const std::optional<std::string> text = StringAt(change, "text");
      if (!text) continue;
      if (const Json* range = Member(change, "range")) {
        const std::optional<TextRange> r = RangeOf(range);
        if (r) open.document.Edit(*r, *text, version);
      } else {
        open.document.Replace(*text, version);
      }
    }
    open.analysis.reset();
    open.index.reset();
    open.due = now + options_.debounce;
  } else if (method == "textDocument/didClose") {
    if (documents_.erase(*uri) > 0) {
      out->push_back({{"jsonrpc", "2.0"},
                      {"method", "textDocument/publishDiagnostics"},
                      {"params", {{"uri", *uri}, {"diagnostics", Json::array()}}}});
    }
  }
}

Server::Reply Server::Request(const std::string& method, const Json& params) {
  if (method == "shutdown") {
    shutdown_ = true;
    playhead_.reset();
    if (playback_ != nullptr) playback_->Stop();
    return {nullptr, std::nullopt};
  }
  if (method == "workspace/executeCommand") return ExecuteCommand(params);
  if (method.starts_with("textDocument/")) return DocumentRequest(method, params);
  return {nullptr, std::make_pair(kMethodNotFound, "unknown method '" + method + "'")};
}

Server::Reply Server::DocumentRequest(const std::string& method, const Json& params) {
  static const char* const kKnown[] = {"textDocument/hover",
                                       "textDocument/completion",
                                       "textDocument/definition",
                                       "textDocument/references",
                                       "textDocument/rename",
                                       "textDocument/documentSymbol",
                                       "textDocument/semanticTokens/full"};
  if (std::find(std::begin(kKnown), std::end(kKnown), method) == std::end(kKnown)) {
    return {nullptr, std::make_pair(kMethodNotFound, "unknown method '" + method + "'")};
  }
  const std::optional<std::string> uri = DocumentUri(params);
  const auto it = uri ? documents_.find(*uri) : documents_.end();
  if (it == documents_.end()) {
    return {nullptr, std::make_pair(kInvalidParams, "the document is not open")};
  }
  OpenDocument& open = it->second;
  const Document& document = open.document;
  const ScoreIndex& index = Indexed(open);
  if (method == "textDocument/documentSymbol") {
    return {DocumentSymbols(document, index), std::nullopt};
  }
  if (method == "textDocument/semanticTokens/full") return {SemanticTokens(index), std::nullopt};
  const std::optional<TextPosition> position = PositionOf(Member(params, "position"));
  if (!position || !document.Contains(*position)) {
    return {nullptr, std::make_pair(kInvalidParams, "the position lies outside the document")};
  }
  if (method == "textDocument/hover") {
    return {HoverAt(&Analysed(open), document, index, *position), std::nullopt};
  }
  if (method == "textDocument/completion") {
    return {CompletionAt(document, index, *position), std::nullopt};
  }
  if (method == "textDocument/definition") {
    return {DefinitionAt(document, index, *uri, *position), std::nullopt};
  }
  if (method == "textDocument/references") {
    const Json* context = Member(params, "context");
    const Json* declaration = context ? Member(*context, "includeDeclaration") : nullptr;
    const bool include =
        declaration != nullptr && declaration->is_boolean() && declaration->get<bool>();
    return {ReferencesAt(index, *uri, *position, include), std::nullopt};
  }
  const std::optional<std::string> new_name = StringAt(params, "newName");
  if (!new_name) return {nullptr, std::make_pair(kInvalidParams, "rename needs a newName")};
  Json edit;
  std::string error;
  if (!RenameAt(index, *uri, *position, *new_name, &edit, &error)) {
    return {nullptr, std::make_pair(kRequestFailed, error)};
  }
  return {edit, std::nullopt};
}

Server::Reply Server::ExecuteCommand(const Json& params) {
  const std::optional<std::string> command = StringAt(params, "command");
  const Json* arguments = Member(params, "arguments");
  const Json no_arguments = Json::array();
  const Json& args = arguments != nullptr && arguments->is_array() ? *arguments : no_arguments;
  auto fail = [](int code, const std::string& why) {
    return Reply{nullptr, std::make_pair(code, why)};
  };
  if (!command ||
      std::find(std::begin(kCommands), std::end(kCommands), *command) == std::end(kCommands)) {
    return fail(kInvalidParams, "unknown command");
  }
  if (playback_ == nullptr) return fail(kRequestFailed, "this server cannot play");
  if (*command == "quern.stop") {
    playhead_.reset();
    playback_->Stop();
    return {nullptr, std::nullopt};
  }
  const auto it = !args.empty() && args[0].is_string() ? documents_.find(args[0].get<std::string>())
                                                       : documents_.end();
  if (it == documents_.end())
    return fail(kInvalidParams, "the first argument is an open document's uri");
  const Document& document = it->second.document;
  Analysis& analysis = Analysed(it->second);
  if (analysis.severity > 2) return fail(kRequestFailed, "the score has errors");
  auto place = [&document](const TextPosition& p) {
    return SourcePlace{p.line, ShiftJisOfUtf16(document.Line(p.line), p.character)};
  };
  int64_t start = 0, stop = 0;
  if (*command == "quern.playFromCursor") {
    const std::optional<TextPosition> caret = PositionOf(args.size() > 1 ? &args[1] : nullptr);
    if (!caret || !document.Contains(*caret))
      return fail(kInvalidParams, "the caret lies outside the document");
    start =
        TickFromCaret(analysis.image.data(), analysis.image.size(), analysis.map, place(*caret));
    if (start < 0) return fail(kRequestFailed, "no note at or after the caret");
  } else if (*command == "quern.playSelection") {
    const std::optional<TextRange> range = RangeOf(args.size() > 1 ? &args[1] : nullptr);
    if (!range || !document.Contains(range->start) || !document.Contains(range->end)) {
      return fail(kInvalidParams, "the selection lies outside the document");
    }
    const TickRange ticks = SelectionTicks(analysis.image.data(), analysis.image.size(),
                                           analysis.map, place(range->start), place(range->end));
    if (ticks.start < 0) return fail(kRequestFailed, "no note in the selection");
    start = ticks.start;
    stop = ticks.stop;
  }
  std::string error;
  if (!playback_->Play(analysis.image, start, stop, &error)) return fail(kRequestFailed, error);
  FollowPlayhead(it->first, it->second, start);
  return {nullptr, std::nullopt};
}

Analysis& Server::Analysed(OpenDocument& open) {
  if (!open.analysis) open.analysis = Analyse(*compilation_, open.document);
  return *open.analysis;
}

const ScoreIndex& Server::Indexed(OpenDocument& open) {
  if (!open.index) open.index = IndexScore(open.document);
  return *open.index;
}

Json Server::Publish(const std::string& uri, OpenDocument& open) {
  open.due.reset();
  Json diagnostics = Json::array();
  for (const LspDiagnostic& d : Analysed(open).diagnostics)
    diagnostics.push_back(DiagnosticJson(d));
  return {{"jsonrpc", "2.0"},
          {"method", "textDocument/publishDiagnostics"},
          {"params",
           {{"uri", uri}, {"version", open.document.Version()}, {"diagnostics", diagnostics}}}};
}

void Server::FollowPlayhead(const std::string& uri, const OpenDocument& open, int64_t start) {
  // The notes from the start on, each at the first tick it is struck
  // there; a song that repeats longer than the scan shows its first notes.
  constexpr size_t kMaxNotes = 1000000;
  const Analysis& analysis = *open.analysis;
  const Document& document = open.document;
  Playhead playhead{uri, {}, {-1, -1}, now_ + kPlayheadInterval};
  ScanStruckNotes(
      analysis.image.data(), analysis.image.size(), kScanTicks, [&](const StruckNote& struck) {
        const NoteSource* source = analysis.map.Find(struck.track, struck.offset);
        if (source != nullptr && struck.tick >= start) {
          const int line = source->place.line;
          const int character = Utf16OfShiftJis(document.Line(line), source->place.column);
          playhead.notes.push_back({struck.tick, {line, character}});
        }
        return playhead.notes.size() < kMaxNotes;
      });
  playhead_ = std::move(playhead);
}

std::optional<Json> Server::PlayheadNote(Clock::time_point now) {
  if (!playhead_ || now < playhead_->due || playback_ == nullptr) return std::nullopt;
  playhead_->due = now + kPlayheadInterval;
  const int64_t tick = playback_->PlayingTick();
  if (tick < 0) {
    playhead_.reset();
    return std::nullopt;
  }
  const auto& notes = playhead_->notes;
  auto next = std::upper_bound(notes.begin(), notes.end(), tick,
                               [](int64_t t, const auto& note) { return t < note.first; });
  if (next == notes.begin()) return std::nullopt;
  const TextPosition at = std::prev(next)->second;
  if (at == playhead_->sent) return std::nullopt;
  playhead_->sent = at;
  return Json{{"jsonrpc", "2.0"},
              {"method", "quern/playhead"},
              {"params",
               {{"uri", playhead_->uri},
                {"line", at.line},
                {"character", at.character},
                {"tick", tick - 1}}}};  // score time, as hovers give it
}

std::vector<Json> Server::Flush(Clock::time_point now) {
  std::vector<Json> out;
  for (auto& [uri, open] : documents_) {
    if (open.due && *open.due <= now) out.push_back(Publish(uri, open));
  }
  if (std::optional<Json> note = PlayheadNote(now)) out.push_back(std::move(*note));
  return out;
}

std::optional<Server::Clock::time_point> Server::NextDue() const {
  std::optional<Clock::time_point> next;
  if (playhead_) next = playhead_->due;
  for (const auto& [uri, open] : documents_) {
    if (open.due && (!next || *open.due < *next)) next = open.due;
  }
  return next;
}
