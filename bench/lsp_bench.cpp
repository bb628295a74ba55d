// Language server benchmarks, in process, on a score of 5,000 lines (16
// tracks, two macros and a common line, about 300 KB):
//   LspDiagnosticsAfterKeystroke: one character typed (a ranged change),
//     then the debounced diagnostics: the whole score compiled again.
//   LspHover: a hover on a note, the song's notes already scanned.
//   LspCompletion: completion at a command position.
//   LspReferences: the references of a macro called on every track line
//     (4,996 locations).
//   LspCompletionAfterKeystroke: one character typed, then completion: the
//     first request after a change reads the token classes and names of the
//     whole score again (hover would also compile it again, as the
//     diagnostics do).
// Each reports the time of one request through Server::Handle; the three in
// the middle ask about an unchanged document, as requests between two
// keystrokes do.
#include <benchmark/benchmark.h>

#include <string>

#include "lsp/json_rpc.h"
#include "lsp/server.h"

namespace {

using Json = nlohmann::json;
constexpr char kUri[] = "file:///bench.qrn";
constexpr int kLines = 5000;

std::string BenchScore() {
  std::string text = "#title \"bench\"\n%Riff c16 e16 g16 >c16<\n@Bass o2 c8 g8\n*A-H v100\n";
  for (int line = 4; line < kLines; ++line) {
    text += std::string(1, static_cast<char>('A' + line % 16)) +
            " o4 l8 c d e f g a b >c< c4 e4 g4 %Riff r8 | %Bass q6 d16 e16 f16 g16\n";
  }
  return text;
}

struct BenchServer {
  BenchServer() : server(nullptr, ServerOptions{"bench", std::chrono::milliseconds(0)}) {
    Send(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})");
    Send(
        Json{{"jsonrpc", "2.0"},
             {"method", "textDocument/didOpen"},
             {"params",
              {{"textDocument",
                {{"uri", kUri}, {"languageId", "quern"}, {"version", 1}, {"text", BenchScore()}}}}}}
            .dump());
  }
  size_t Send(const std::string& body) { return server.Handle(body, now).size(); }
  std::string At(const std::string& method, int line, int character) {
    return Json{{"jsonrpc", "2.0"},
                {"id", 2},
                {"method", method},
                {"params",
                 {{"textDocument", {{"uri", kUri}}},
                  {"position", {{"line", line}, {"character", character}}},
                  {"context", {{"includeDeclaration", true}}}}}}
        .dump();
  }
  Server server;
  Server::Clock::time_point now{};
};

// One character replaced in the middle of the score.
std::string Keystroke(int version) {
  return Json{{"jsonrpc", "2.0"},
              {"method", "textDocument/didChange"},
              {"params",
               {{"textDocument", {{"uri", kUri}, {"version", version}}},
                {"contentChanges",
                 {{{"range",
                    {{"start", {{"line", 2500}, {"character", 5}}},
                     {"end", {{"line", 2500}, {"character", 6}}}}},
                   {"text", version % 2 ? "c" : "d"}}}}}}}
      .dump();
}

void LspDiagnosticsAfterKeystroke(benchmark::State& state) {
  BenchServer b;
  int version = 1;
  for (auto _ : state) {
    b.Send(Keystroke(++version));
    b.now += std::chrono::milliseconds(1);
    benchmark::DoNotOptimize(b.server.Flush(b.now));
  }
}

void RunRequest(benchmark::State& state, const char* method, int line, int character) {
  BenchServer b;
  const std::string request = b.At(method, line, character);
  b.Send(request);  // the first hover scans the song once
  for (auto _ : state) benchmark::DoNotOptimize(b.Send(request));
}

void LspHover(benchmark::State& state) {
  RunRequest(state, "textDocument/hover", 2500, 8);
}
void LspCompletion(benchmark::State& state) {
  RunRequest(state, "textDocument/completion", 2500, 10);
}
void LspReferences(benchmark::State& state) {
  RunRequest(state, "textDocument/references", 1, 2);
}

void LspCompletionAfterKeystroke(benchmark::State& state) {
  BenchServer b;
  const std::string request = b.At("textDocument/completion", 2500, 10);
  int version = 1;
  for (auto _ : state) {
    b.Send(Keystroke(++version));
    benchmark::DoNotOptimize(b.Send(request));
  }
}

BENCHMARK(LspDiagnosticsAfterKeystroke)->Unit(benchmark::kMillisecond);
BENCHMARK(LspHover)->Unit(benchmark::kMillisecond);
BENCHMARK(LspCompletion)->Unit(benchmark::kMillisecond);
BENCHMARK(LspReferences)->Unit(benchmark::kMillisecond);
BENCHMARK(LspCompletionAfterKeystroke)->Unit(benchmark::kMillisecond);

}  // namespace
