#!/usr/bin/env bash
# Packages the VS Code extension in editors/ as BUILD_DIR/quern-midi.vsix
# with @vscode/vsce, and checks that the package holds the client, its
# language client library, the grammar and the manifest, and that every
# command and key of the manifest is one the client registers.
#   vsix.sh BUILD_DIR
# The extension is copied to BUILD_DIR/vsix first, so that node_modules
# stays out of the source tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
stage=$build/vsix
rm -rf "$stage"
mkdir -p "$stage"
cp -r "$root"/editors/. "$stage"/
cd "$stage"
npm ci --no-audit --no-fund --loglevel=error
npx --no-install vsce package --skip-license --allow-missing-repository \
  -o "$build/quern-midi.vsix"
python3 - "$build/quern-midi.vsix" <<'PY'
import json, re, sys, zipfile
package = zipfile.ZipFile(sys.argv[1])
names = set(package.namelist())
manifest = json.loads(package.read("extension/package.json"))
client = package.read("extension/extension.js").decode()
registered = set(re.findall(r'registerCommand\("([^"]+)"', client))
for command in manifest["contributes"]["commands"] + manifest["contributes"]["keybindings"]:
    if command["command"] not in registered:
        sys.exit("package.json names %s, which extension.js does not register" % command["command"])
need = ["extension/package.json", "extension/extension.js", "extension/quern.tmLanguage.json",
        "extension/node_modules/vscode-languageclient/node.js"]
missing = [n for n in need if n not in names]
if missing or any(n.startswith("extension/node_modules/@vscode/vsce/") for n in names):
    sys.exit("quern-midi.vsix lacks %s or carries the packager" % missing)
print("quern-midi.vsix: %d files, client and grammar included" % len(names))
PY
