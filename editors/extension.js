// The VS Code client of `quern lsp`: starts the server for .qrn files and
// binds the play commands to keys. The server does the work; this file only
// connects it and hands it the caret and the selection.
const vscode = require("vscode");
const { LanguageClient } = require("vscode-languageclient/node");

let client;

function activate(context) {
  const config = vscode.workspace.getConfiguration("quern");
  const args = ["lsp"];
  if (config.get("output")) args.push("--output", config.get("output"));
  if (config.get("soundfont")) args.push("--soundfont", config.get("soundfont"));
  const server = { command: config.get("path") || "quern", args };
  client = new LanguageClient("quern", "Quern MIDI", { run: server, debug: server },
                              { documentSelector: [{ language: "quern" }] });
  context.subscriptions.push(client);
  client.start();

  const run = (command, extra) => async () => {
    const editor = vscode.window.activeTextEditor;
    if (!editor || editor.document.languageId !== "quern") return;
    const uri = editor.document.uri.toString();
    try {
      await client.sendRequest("workspace/executeCommand",
                               { command, arguments: [uri, ...extra(editor)] });
    } catch (error) {
      vscode.window.showWarningMessage("quern: " + error.message);
    }
  };
  const position = (p) => ({ line: p.line, character: p.character });
  context.subscriptions.push(
    vscode.commands.registerCommand("quern.playScore", run("quern.play", () => [])),
    vscode.commands.registerCommand("quern.playFromCursorHere",
      run("quern.playFromCursor", (e) => [position(e.selection.active)])),
    vscode.commands.registerCommand("quern.playSelectionHere",
      run("quern.playSelection",
          (e) => [{ start: position(e.selection.start), end: position(e.selection.end) }])),
    vscode.commands.registerCommand("quern.stopPlaying", async () => {
      await client.sendRequest("workspace/executeCommand", { command: "quern.stop", arguments: [] });
    }));
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
