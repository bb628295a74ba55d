#!/usr/bin/env python3
"""Starts `quern lsp` as a process and speaks JSON-RPC to it over its pipes:
the life cycle, diagnostics on Japanese lines after a ranged change,
hover, completion, navigation, rename, symbols, tokens, the play commands on
the silent output with the playing places they send, bad input, a client
that goes away, and signals that end the server while it plays.

    protocol_test.py QUERN
"""
import json
import signal
import sys
import time

from lsp_client import LspClient

URI = "file:///tmp/song.qrn"
SCORE = "%M c d\nA o4 l4 c d %M\nB ｶﾞ 😀 %M\n"
failures = []


def check(what, got, want):
    if got != want:
        failures.append(what)
        print("%s:\n  got  %s\n  want %s" % (what, json.dumps(got, ensure_ascii=False),
                                           json.dumps(want, ensure_ascii=False)))


def at(line, character):
    return {"textDocument": {"uri": URI}, "position": {"line": line, "character": character}}


def rng(l1, c1, l2, c2):
    return {"start": {"line": l1, "character": c1}, "end": {"line": l2, "character": c2}}


def main():
    quern = sys.argv[1]
    client = LspClient(quern, "--output", "none")
    init = client.request("initialize", {"processId": None, "capabilities": {}})
    check("initialize", init["result"]["capabilities"]["textDocumentSync"],
          {"openClose": True, "change": 2})
    client.notify("initialized")
    client.open(URI, SCORE)
    diagnostics = client.wait_notification("textDocument/publishDiagnostics")["params"]
    check("open", [(d["range"], d["severity"]) for d in diagnostics["diagnostics"]],
          [(rng(2, 2, 2, 3), 1), (rng(2, 3, 2, 4), 1), (rng(2, 5, 2, 7), 1),
           (rng(2, 5, 2, 7), 2)])

    # Replace the emoji by a full-width letter: ranges count UTF-16 units.
    start = time.monotonic()
    client.notify("textDocument/didChange", {
        "textDocument": {"uri": URI, "version": 2},
        "contentChanges": [{"range": rng(2, 5, 2, 7), "text": "ド"}]})
    diagnostics = client.wait_notification("textDocument/publishDiagnostics")["params"]
    waited = time.monotonic() - start
    check("change", (diagnostics["version"],
                     [(d["range"], d["message"]) for d in diagnostics["diagnostics"]]),
          (2, [(rng(2, 2, 2, 3), "未定義コマンドです"), (rng(2, 3, 2, 4), "未定義コマンドです"),
               (rng(2, 5, 2, 6), "未定義コマンドです"), (rng(2, 5, 2, 6), "未定義コマンドです")]))
    if not 0.1 <= waited < 5:
        failures.append("debounce")
        print("the diagnostics came after %.3f s" % waited)

    check("hover", client.request("textDocument/hover", at(0, 3))["result"], {
        "contents": {"kind": "markdown",
                     "value": "**C4** · MIDI 60 · 48 ticks (1/4) · channel 2\n\n"
                              "first played at tick 0, bar 1:1 · played 2 times"},
        "range": rng(0, 3, 0, 4)})
    check("hover on a call", client.request("textDocument/hover", at(2, 8))["result"]["contents"],
          {"kind": "markdown", "value": "```quern\n%M c d\n```"})
    items = client.request("textDocument/completion", at(1, 13))["result"]["items"]
    check("completion", [i["label"] for i in items], ["M"])
    check("definition", client.request("textDocument/definition", at(2, 8))["result"],
          [{"uri": URI, "range": rng(0, 0, 0, 2)}])
    refs = client.request("textDocument/references",
                          dict(at(0, 1), context={"includeDeclaration": True}))["result"]
    check("references", [r["range"] for r in refs],
          [rng(0, 0, 0, 2), rng(1, 12, 1, 14), rng(2, 7, 2, 9)])
    rename = client.request("textDocument/rename", dict(at(1, 13), newName="Riff"))["result"]
    check("rename", [e["range"] for e in rename["changes"][URI]],
          [rng(0, 1, 0, 2), rng(1, 13, 1, 14), rng(2, 8, 2, 9)])
    symbols = client.request("textDocument/documentSymbol", {"textDocument": {"uri": URI}})
    check("symbols", [(s["name"], s["kind"]) for s in symbols["result"]],
          [("%M", 12), ("A", 5), ("B", 5)])
    tokens = client.request("textDocument/semanticTokens/full", {"textDocument": {"uri": URI}})
    check("tokens", tokens["result"]["data"][:10], [0, 0, 2, 3, 0, 0, 3, 1, 6, 0])

    clean = "file:///tmp/clean.qrn"
    client.open(clean, "A o4 l8 c d e f g\n")
    for command, arguments in [("quern.play", [clean]),
                               ("quern.playFromCursor", [clean, {"line": 0, "character": 10}]),
                               ("quern.playSelection", [clean, rng(0, 8, 0, 11)]),
                               ("quern.stop", [])]:
        reply = client.request("workspace/executeCommand",
                               {"command": command, "arguments": arguments})
        check(command, reply.get("error"), None)
    # While it plays (on no output, in real time), the playing places come.
    client.request("workspace/executeCommand", {"command": "quern.play", "arguments": [clean]})
    playhead = client.wait_notification("quern/playhead", timeout=5)
    check("playhead", playhead and (playhead["params"]["uri"], playhead["params"]["line"]),
          (clean, 0))
    client.request("workspace/executeCommand", {"command": "quern.stop", "arguments": []})
    reply = client.request("workspace/executeCommand", {"command": "quern.play", "arguments": [URI]})
    check("play with errors", reply["error"]["message"], "the score has errors")

    client.send_raw(b"Content-Length: 9\r\n\r\n{\"id\":1,]")
    check("malformed", client.read()["error"]["code"], -32700)
    check("unknown", client.request("quern/nothing")["error"]["code"], -32601)
    check("outside", client.request("textDocument/hover", at(9, 0))["error"]["code"], -32602)
    check("exit code", client.close(), 0)

    # A client that goes away: the server ends on its own, with code 1.
    gone = LspClient(quern)
    gone.request("initialize")
    gone.proc.stdin.close()
    check("vanished", gone.proc.wait(timeout=10), 1)

    # A signal while a song plays: the server silences it and ends by the
    # signal; with nothing playing it just ends by the signal. The servers
    # take the signals' default actions, even when this test was started
    # with some of them ignored (a background job, nohup).
    for name in ("SIGTERM", "SIGINT", "SIGHUP"):
        signal.signal(getattr(signal, name), signal.SIG_DFL)
    for name, play in (("SIGTERM", True), ("SIGINT", True), ("SIGHUP", True), ("SIGTERM", False)):
        server = LspClient(quern, "--output", "none")
        server.request("initialize")
        server.open(clean, "A o4 l8 [c d e f g]*\n")
        if play:
            server.request("workspace/executeCommand",
                           {"command": "quern.play", "arguments": [clean]})
            server.wait_notification("quern/playhead", timeout=5)
        server.proc.send_signal(getattr(signal, name))
        said = "quern lsp: %s: playback stopped, every note released\n" % name if play else ""
        check("%s %s" % (name, "while playing" if play else "with nothing playing"),
              (server.proc.wait(timeout=10), server.proc.stderr.read().decode()),
              (-getattr(signal, name), said))

    print("%d checks failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
