#include "lsp/server.h"

#include <gtest/gtest.h>

#include "lsp/json_rpc.h"

namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

class FakePlayback : public PlaybackPort {
 public:
  bool Play(std::vector<uint8_t> image, int64_t start, int64_t stop, std::string* error) override {
    calls += "play " + std::to_string(start) + " " + std::to_string(stop) + ";";
    return !image.empty();
  }
  void Stop() override { calls += "stop;"; }
  int64_t PlayingTick() override { return tick; }
  std::string calls;
  int64_t tick = -1;
};

const char kUri[] = "file:///s.qrn";

// Line 2 holds full-width text, line 3 half-width katakana and a character
// outside the BMP; line 4 calls a macro that does not exist.
const char kScore[] =
    "#title \"テスト\"\n"
    "%M c d\n"
    "A o4 l4 c d %M ド x\n"
    "A ｶﾞ 😀 y\n"
    "B u1 r4 [e8 %M]2\n";

class ServerTest : public testing::Test {
 protected:
  ServerTest() : server_(&playback_, ServerOptions{"9.9", 100ms}) {}

  // Sends a message; returns what the server sends back, one dumped line each.
  std::string Send(const Json& message) {
    std::string out;
    for (const Json& m : server_.Handle(DumpJson(message), now_)) out += DumpJson(m) + "\n";
    return out;
  }
  std::string Request(const std::string& method, const Json& params) {
    return Send({{"jsonrpc", "2.0"}, {"id", ++id_}, {"method", method}, {"params", params}});
  }
  std::string Notify(const std::string& method, const Json& params) {
    return Send({{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
  }
  std::string At(const std::string& method, int line, int character, Json extra = Json::object()) {
    extra["textDocument"] = {{"uri", kUri}};
    extra["position"] = {{"line", line}, {"character", character}};
    return Request(method, extra);
  }
  std::string Open(const std::string& text) {
    Request("initialize", Json::object());
    return Notify("textDocument/didOpen",
                  {{"textDocument",
                    {{"uri", kUri}, {"languageId", "quern"}, {"version", 1}, {"text", text}}}});
  }

  FakePlayback playback_;
  Server server_;
  Server::Clock::time_point now_{};
  int id_ = 0;
};

TEST_F(ServerTest, DiagnosticsRangesCountUtf16UnitsOnJapaneseLines) {
  EXPECT_EQ(
      Open(kScore),
      R"j({"jsonrpc":"2.0","method":"textDocument/publishDiagnostics","params":{"diagnostics":[)j"
      R"j({"message":"未定義コマンドです","range":{"end":{"character":16,"line":2},"start":{"character":15,"line":2}},"severity":1,"source":"quern"},)j"
      R"j({"message":"未定義コマンドです","range":{"end":{"character":16,"line":2},"start":{"character":15,"line":2}},"severity":1,"source":"quern"},)j"
      R"j({"message":"未定義コマンドです","range":{"end":{"character":18,"line":2},"start":{"character":17,"line":2}},"severity":1,"source":"quern"},)j"
      R"j({"message":"未定義コマンドです","range":{"end":{"character":3,"line":3},"start":{"character":2,"line":3}},"severity":1,"source":"quern"},)j"
      R"j({"message":"未定義コマンドです","range":{"end":{"character":4,"line":3},"start":{"character":3,"line":3}},"severity":1,"source":"quern"},)j"
      R"j({"message":"未定義コマンドです","range":{"end":{"character":7,"line":3},"start":{"character":5,"line":3}},"severity":1,"source":"quern"},)j"
      R"j({"message":"未定義コマンドです","range":{"end":{"character":9,"line":3},"start":{"character":8,"line":3}},"severity":1,"source":"quern"},)j"
      R"j({"message":"1 character(s) have no Shift-JIS form and compile as \"?\", the first being \"😀\"","range":{"end":{"character":7,"line":3},"start":{"character":5,"line":3}},"severity":2,"source":"quern"}],"uri":"file:///s.qrn","version":1}})j"
      "\n");
}

TEST_F(ServerTest, AMessageAboutTheWholeSongGoesOnLineZero) {
  EXPECT_EQ(
      Open("A \"x\" c \"y\" c\nB \"y\" c \"x\" c\n"),
      R"j({"jsonrpc":"2.0","method":"textDocument/publishDiagnostics","params":{"diagnostics":[)j"
      R"j({"message":"小節の順序に不整合があります","range":{"end":{"character":13,"line":0},"start":{"character":0,"line":0}},"severity":1,"source":"quern"}],"uri":"file:///s.qrn","version":1}})j"
      "\n");
}

TEST_F(ServerTest, ChangesArePublishedOnceTheDebounceHasPassed) {
  Open("A c\n");
  EXPECT_EQ(Notify("textDocument/didChange", {{"textDocument", {{"uri", kUri}, {"version", 2}}},
                                              {"contentChanges",
                                               {{{"range",
                                                  {{"start", {{"line", 0}, {"character", 2}}},
                                                   {"end", {{"line", 0}, {"character", 3}}}}},
                                                 {"text", "x"}}}}}),
            "");
  now_ += 50ms;
  EXPECT_EQ(Notify("textDocument/didChange", {{"textDocument", {{"uri", kUri}, {"version", 3}}},
                                              {"contentChanges", {{{"text", "A ｘ\n"}}}}}),
            "");
  EXPECT_EQ(server_.NextDue(), now_ + 100ms);
  EXPECT_TRUE(server_.Flush(now_ + 99ms).empty());
  std::string flushed;
  for (const Json& m : server_.Flush(now_ + 100ms)) flushed += DumpJson(m) + "\n";
  EXPECT_EQ(
      flushed,
      R"j({"jsonrpc":"2.0","method":"textDocument/publishDiagnostics","params":{"diagnostics":[)j"
      R"j({"message":"未定義コマンドです","range":{"end":{"character":3,"line":0},"start":{"character":2,"line":0}},"severity":1,"source":"quern"},)j"
      R"j({"message":"未定義コマンドです","range":{"end":{"character":3,"line":0},"start":{"character":2,"line":0}},"severity":1,"source":"quern"}],"uri":"file:///s.qrn","version":3}})j"
      "\n");
  EXPECT_FALSE(server_.NextDue().has_value());
}

TEST_F(ServerTest, HoversTellNotesCommandsAndMacroCalls) {
  Open(kScore);
  EXPECT_EQ(
      At("textDocument/hover", 1, 3),
      R"j({"id":2,"jsonrpc":"2.0","result":{"contents":{"kind":"markdown","value":"**C4** · MIDI 60 · 48 ticks (1/4) · channel 2\n\nfirst played at tick 72, bar 1:2+24 · played 3 times"},"range":{"end":{"character":4,"line":1},"start":{"character":3,"line":1}}}})j"
      "\n");  // "c of %M, played 3 times"
  EXPECT_EQ(
      At("textDocument/hover", 4, 9),
      R"j({"id":3,"jsonrpc":"2.0","result":{"contents":{"kind":"markdown","value":"**E4** · MIDI 64 · 24 ticks (1/8) · channel 2\n\nfirst played at tick 48, bar 1:2 · played 2 times"},"range":{"end":{"character":10,"line":4},"start":{"character":9,"line":4}}}})j"
      "\n");  // "e8 in B, u1 bars"
  EXPECT_EQ(
      At("textDocument/hover", 2, 2),
      R"j({"id":4,"jsonrpc":"2.0","result":{"contents":{"kind":"markdown","value":"`oN` — sets the octave (-1 to 9)"},"range":{"end":{"character":3,"line":2},"start":{"character":2,"line":2}}}})j"
      "\n");
  EXPECT_EQ(
      At("textDocument/hover", 2, 13),
      R"j({"id":5,"jsonrpc":"2.0","result":{"contents":{"kind":"markdown","value":"```quern\n%M c d\n```"},"range":{"end":{"character":14,"line":2},"start":{"character":12,"line":2}}}})j"
      "\n");
  EXPECT_EQ(At("textDocument/hover", 0, 2),
            R"j({"id":6,"jsonrpc":"2.0","result":null})j"
            "\n");  // "a header"
}

TEST_F(ServerTest, CompletionOffersMacrosCommandsAndTrackNames) {
  Open("%Mel c\n@Bass d\nA %\nB c\n");
  EXPECT_EQ(At("textDocument/completion", 2, 3),
            R"j({"id":2,"jsonrpc":"2.0","result":{"isIncomplete":false,"items":[)j"
            R"j({"detail":"%Mel c","kind":3,"label":"Mel"},)j"
            R"j({"detail":"@Bass d","kind":3,"label":"Bass"}]}})j"
            "\n");
  EXPECT_EQ(At("textDocument/completion", 3, 0),
            R"j({"id":3,"jsonrpc":"2.0","result":{"isIncomplete":false,"items":[)j"
            R"j({"detail":"track","kind":7,"label":"A"},)j"
            R"j({"detail":"track","kind":7,"label":"B"}]}})j"
            "\n");
  const std::string commands = At("textDocument/completion", 3, 2);
  EXPECT_NE(
      commands.find(
          R"j({"detail":"chN","documentation":"sets the MIDI channel (1 to 16)","kind":14,"label":"ch"})j"),
      std::string::npos)
      << commands;
}

TEST_F(ServerTest, MacrosNavigateAndRenameAcrossDefinitionsAndCalls) {
  Open("%M c\n+d\n@M e\nA %M ド%M\n*A-B f\nB %M\n");
  EXPECT_EQ(
      At("textDocument/definition", 3, 6),
      R"j({"id":2,"jsonrpc":"2.0","result":[)j"
      R"j({"range":{"end":{"character":2,"line":0},"start":{"character":0,"line":0}},"uri":"file:///s.qrn"},)j"
      R"j({"range":{"end":{"character":2,"line":2},"start":{"character":0,"line":2}},"uri":"file:///s.qrn"}]})j"
      "\n");
  EXPECT_EQ(
      At("textDocument/definition", 5, 0),
      R"j({"id":3,"jsonrpc":"2.0","result":[)j"
      R"j({"range":{"end":{"character":4,"line":4},"start":{"character":0,"line":4}},"uri":"file:///s.qrn"}]})j"
      "\n");  // "track
              // B
              // reads
              // *A-B"
  EXPECT_EQ(
      At("textDocument/references", 0, 1, {{"context", {{"includeDeclaration", false}}}}),
      R"j({"id":4,"jsonrpc":"2.0","result":[)j"
      R"j({"range":{"end":{"character":4,"line":3},"start":{"character":2,"line":3}},"uri":"file:///s.qrn"},)j"
      R"j({"range":{"end":{"character":8,"line":3},"start":{"character":6,"line":3}},"uri":"file:///s.qrn"},)j"
      R"j({"range":{"end":{"character":4,"line":5},"start":{"character":2,"line":5}},"uri":"file:///s.qrn"}]})j"
      "\n");
  EXPECT_EQ(
      At("textDocument/rename", 3, 3, {{"newName", "Riff"}}),
      R"j({"id":5,"jsonrpc":"2.0","result":{"changes":{"file:///s.qrn":[)j"
      R"j({"newText":"Riff","range":{"end":{"character":2,"line":0},"start":{"character":1,"line":0}}},)j"
      R"j({"newText":"Riff","range":{"end":{"character":2,"line":2},"start":{"character":1,"line":2}}},)j"
      R"j({"newText":"Riff","range":{"end":{"character":4,"line":3},"start":{"character":3,"line":3}}},)j"
      R"j({"newText":"Riff","range":{"end":{"character":8,"line":3},"start":{"character":7,"line":3}}},)j"
      R"j({"newText":"Riff","range":{"end":{"character":4,"line":5},"start":{"character":3,"line":5}}}]}}})j"
      "\n");
  EXPECT_EQ(
      At("textDocument/rename", 3, 3, {{"newName", "a_b"}}),
      R"j({"error":{"code":-32803,"message":"a macro name is a letter followed by letters and digits: 'a_b'"},"id":6,"jsonrpc":"2.0"})j"
      "\n");
  EXPECT_EQ(
      Request("textDocument/documentSymbol", {{"textDocument", {{"uri", kUri}}}}),
      R"j({"id":7,"jsonrpc":"2.0","result":[)j"
      R"j({"kind":12,"name":"%M","range":{"end":{"character":4,"line":0},"start":{"character":0,"line":0}},"selectionRange":{"end":{"character":2,"line":0},"start":{"character":0,"line":0}}},)j"
      R"j({"kind":5,"name":"A","range":{"end":{"character":8,"line":3},"start":{"character":0,"line":3}},"selectionRange":{"end":{"character":1,"line":3},"start":{"character":0,"line":3}}},)j"
      R"j({"kind":3,"name":"*A-B","range":{"end":{"character":6,"line":4},"start":{"character":0,"line":4}},"selectionRange":{"end":{"character":4,"line":4},"start":{"character":0,"line":4}}},)j"
      R"j({"kind":5,"name":"B","range":{"end":{"character":4,"line":5},"start":{"character":0,"line":5}},"selectionRange":{"end":{"character":1,"line":5},"start":{"character":0,"line":5}}}]})j"
      "\n");
}

TEST_F(ServerTest, SemanticTokensCarryTheEditorsClasses) {
  Open("A c4 %M\n");
  EXPECT_EQ(
      Request("textDocument/semanticTokens/full", {{"textDocument", {{"uri", kUri}}}}),
      R"j({"id":2,"jsonrpc":"2.0","result":{"data":[0,0,1,2,0,0,2,1,6,0,0,1,1,8,0,0,2,2,13,0]}})j"
      "\n");
}

TEST_F(ServerTest, BadInputGetsErrorResponses) {
  EXPECT_EQ(
      At("textDocument/hover", 0, 0),
      R"j({"error":{"code":-32002,"message":"the server has not been initialized"},"id":1,"jsonrpc":"2.0"})j"
      "\n");
  Open("A c\n");
  std::string out;
  for (const Json& m : server_.Handle("{\"id\":1", now_)) out += DumpJson(m) + "\n";
  for (const Json& m : server_.Handle("[1]", now_)) out += DumpJson(m) + "\n";
  EXPECT_EQ(
      out,
      R"j({"error":{"code":-32700,"message":"the message is not JSON"},"id":null,"jsonrpc":"2.0"}
{"error":{"code":-32600,"message":"not a request"},"id":null,"jsonrpc":"2.0"})j"
      "\n");
  EXPECT_EQ(
      Request("no/such", {}),
      R"j({"error":{"code":-32601,"message":"unknown method 'no/such'"},"id":3,"jsonrpc":"2.0"})j"
      "\n");
  EXPECT_EQ(Notify("no/such", {}), "") << "unknown notifications are ignored";
  EXPECT_EQ(
      At("textDocument/hover", 0, 4),
      R"j({"error":{"code":-32602,"message":"the position lies outside the document"},"id":4,"jsonrpc":"2.0"})j"
      "\n");
  EXPECT_EQ(
      At("textDocument/hover", 7, 0),
      R"j({"error":{"code":-32602,"message":"the position lies outside the document"},"id":5,"jsonrpc":"2.0"})j"
      "\n");
  EXPECT_EQ(
      Request("textDocument/hover", {{"textDocument", {{"uri", kUri}}},
                                     {"position", {{"line", -1}, {"character", "x"}}}}),
      R"j({"error":{"code":-32602,"message":"the position lies outside the document"},"id":6,"jsonrpc":"2.0"})j"
      "\n");
  EXPECT_EQ(Request("shutdown", nullptr), R"j({"id":7,"jsonrpc":"2.0","result":null})j"
                                          "\n");
  EXPECT_EQ(
      At("textDocument/hover", 0, 0),
      R"j({"error":{"code":-32600,"message":"the server is shutting down"},"id":8,"jsonrpc":"2.0"})j"
      "\n");
  EXPECT_FALSE(server_.Finished());
  Notify("exit", {});
  EXPECT_TRUE(server_.Finished());
  EXPECT_EQ(server_.ExitCode(), 0);
}

TEST_F(ServerTest, DeeplyNestedParametersAreAnsweredWithoutRecursion) {
  Request("initialize", Json::object());
  const int depth = 1000000;
  const std::string body = R"({"jsonrpc":"2.0","id":7,"method":"textDocument/hover","params":)" +
                           std::string(depth, '[') + std::string(depth, ']') + "}";
  const std::vector<Json> out = server_.Handle(body, now_);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(
      DumpJson(out[0]),
      R"({"error":{"code":-32602,"message":"the document is not open"},"id":7,"jsonrpc":"2.0"})");
}

TEST_F(ServerTest, AnExitWithoutShutdownEndsWithCodeOne) {
  Notify("exit", {});
  EXPECT_TRUE(server_.Finished());
  EXPECT_EQ(server_.ExitCode(), 1);
}

TEST_F(ServerTest, PlayCommandsPlayTheTicksOfTheCaretAndTheSelection) {
  Open("A l4 c d\nB l4 r e f\n");
  auto command = [&](const std::string& name, Json arguments) {
    return Request("workspace/executeCommand", {{"command", name}, {"arguments", arguments}});
  };
  command("quern.play", {kUri});
  command("quern.playFromCursor", {kUri, {{"line", 1}, {"character", 7}}});
  command("quern.playSelection",
          {kUri,
           {{"start", {{"line", 0}, {"character", 5}}}, {"end", {{"line", 0}, {"character", 6}}}}});
  command("quern.stop", Json::array());
  EXPECT_EQ(playback_.calls, "play 0 0;play 49 0;play 1 49;stop;");
  EXPECT_FALSE(server_.NextDue().has_value()) << "nothing plays after quern.stop";
  EXPECT_EQ(
      command("quern.playFromCursor", {kUri, {{"line", 0}, {"character", 8}}}),
      R"j({"error":{"code":-32803,"message":"no note at or after the caret"},"id":6,"jsonrpc":"2.0"})j"
      "\n");
  Open("A x\n");
  EXPECT_EQ(command("quern.play", {kUri}),
            R"j({"error":{"code":-32803,"message":"the score has errors"},"id":8,"jsonrpc":"2.0"})j"
            "\n");
}

TEST_F(ServerTest, APlayingSongSendsThePlaceOfTheNoteStruckLast) {
  Open("A l4 c d\nB l4 r e f\n");
  // While the song plays, the place of the note struck last, in score time.
  Request("workspace/executeCommand", {{"command", "quern.play"}, {"arguments", {kUri}}});
  ASSERT_EQ(server_.NextDue(), now_ + kPlayheadInterval);
  playback_.tick = 98;
  std::string notes;
  for (const Json& m : server_.Flush(now_ + kPlayheadInterval)) notes += DumpJson(m) + "\n";
  EXPECT_EQ(notes,
            R"j({"jsonrpc":"2.0","method":"quern/playhead","params":{"character":9,"line":1,)j"
            R"j("tick":97,"uri":"file:///s.qrn"}})j"
            "\n");
  EXPECT_TRUE(server_.Flush(now_ + 2 * kPlayheadInterval).empty()) << "the same note";
  playback_.tick = -1;
  EXPECT_TRUE(server_.Flush(now_ + 3 * kPlayheadInterval).empty());
  EXPECT_FALSE(server_.NextDue().has_value()) << "the song has ended";
}

}  // namespace
