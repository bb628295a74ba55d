"""A small client of `quern lsp` for the tests: starts the server as a
process and speaks JSON-RPC with Content-Length framing over its pipes."""
import json
import os
import select
import subprocess


class LspClient:
    def __init__(self, quern, *args):
        self.proc = subprocess.Popen([quern, "lsp", *args], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.fd = self.proc.stdout.fileno()
        self.buffer = bytearray()
        self.next_id = 0
        self.notifications = []

    def send(self, message):
        body = json.dumps(message, ensure_ascii=False).encode("utf-8")
        self.proc.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.proc.stdin.flush()

    def send_raw(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def read(self, timeout=10):
        """The next message, or None when the server ended or said nothing
        for timeout seconds."""
        while True:
            end = self.buffer.find(b"\r\n\r\n")
            if end >= 0:
                length = int(self.buffer[:end].split(b":")[1])
                if len(self.buffer) >= end + 4 + length:
                    body = bytes(self.buffer[end + 4:end + 4 + length])
                    del self.buffer[:end + 4 + length]
                    return json.loads(body)
            ready, _, _ = select.select([self.fd], [], [], timeout)
            if not ready:
                return None
            data = os.read(self.fd, 65536)
            if not data:
                return None
            self.buffer += data

    def request(self, method, params=None):
        self.next_id += 1
        self.send({"jsonrpc": "2.0", "id": self.next_id, "method": method,
                   "params": params if params is not None else {}})
        while True:
            message = self.read()
            if message is None:
                raise RuntimeError("no answer to " + method)
            if message.get("id") == self.next_id:
                return message
            self.notifications.append(message)

    def notify(self, method, params=None):
        self.send({"jsonrpc": "2.0", "method": method,
                   "params": params if params is not None else {}})

    def wait_notification(self, method, timeout=10):
        for i, m in enumerate(self.notifications):
            if m.get("method") == method:
                return self.notifications.pop(i)
        while True:
            message = self.read(timeout)
            if message is None:
                return None
            if message.get("method") == method:
                return message
            self.notifications.append(message)

    def open(self, uri, text, version=1):
        self.notify("textDocument/didOpen", {"textDocument": {
            "uri": uri, "languageId": "quern", "version": version, "text": text}})

    def close(self):
        self.request("shutdown")
        self.notify("exit")
        return self.proc.wait(timeout=10)


# Class letters of the semantic token types, in the server's legend order
# (the editor's classes as tests/editors/highlight_dump.cc names them).
TOKEN_CLASSES = "chtmk+nx0lqbau"


def token_classes(client, uri, lines):
    """The server's semantic tokens as one class letter per UTF-16 unit."""
    data = client.request("textDocument/semanticTokens/full",
                          {"textDocument": {"uri": uri}})["result"]["data"]
    units = [len(l.encode("utf-16-le")) // 2 for l in lines]
    codes = [["."] * n for n in units]
    line = start = 0
    for i in range(0, len(data), 5):
        d_line, d_start, length, kind = data[i:i + 4]
        line += d_line
        start = start + d_start if d_line == 0 else d_start
        for u in range(start, start + length):
            codes[line][u] = TOKEN_CLASSES[kind]
    return ["".join(c) for c in codes]
