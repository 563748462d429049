#!/usr/bin/env python3
"""Language server latency: how long `zarn lsp` takes to answer an opened or
changed document with its diagnostics, and a hover and a completion on it,
against `zarn check` of the same file measured in the same run (its peer: the
same front end and checker, without the server's indexes). Least wall time of
several runs each.
    bench/lsp/run.py [--megabytes N] [--zarn build/zarn]"""
import argparse
import json
import os
import subprocess
import sys
import time
import urllib.parse

ROOT = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", ".."))


class Client:
    def __init__(self, zarn):
        self.process = subprocess.Popen([zarn, "lsp"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE)

    def send(self, message):
        body = json.dumps(message).encode()
        self.process.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.process.stdin.flush()

    def receive(self):
        length = 0
        while True:
            line = self.process.stdout.readline().strip()
            if not line:
                break
            if line.lower().startswith(b"content-length:"):
                length = int(line.split(b":")[1])
        return json.loads(self.process.stdout.read(length))

    def until(self, predicate):
        while True:
            message = self.receive()
            if predicate(message):
                return message


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--megabytes", type=float, default=1.0)
    parser.add_argument("--zarn", default=os.path.join(ROOT, "build", "zarn"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    out = os.path.join(ROOT, "bench", "out", "lsp")
    subprocess.run([sys.executable, os.path.join(ROOT, "bench", "frontend", "generate.py"),
                    "--out", out, "--megabytes", str(args.megabytes)], check=True)
    path = os.path.join(out, "big.zarn")
    with open(path, encoding="utf-8") as handle:
        text = handle.read()
    uri = "file://" + urllib.parse.quote(path)

    check = []
    for _ in range(args.runs):
        start = time.perf_counter()
        subprocess.run([args.zarn, "check", path], stdout=subprocess.DEVNULL, check=True)
        check.append(time.perf_counter() - start)

    client = Client(args.zarn)
    client.send({"jsonrpc": "2.0", "id": 0, "method": "initialize", "params": {}})
    client.until(lambda m: m.get("id") == 0)
    changes, hovers, completions = [], [], []
    line = text.count("\n") // 2
    for version in range(1, args.runs + 1):
        start = time.perf_counter()
        if version == 1:
            client.send({"jsonrpc": "2.0", "method": "textDocument/didOpen", "params": {
                "textDocument": {"uri": uri, "languageId": "zarn", "version": 1, "text": text}}})
        else:
            client.send({"jsonrpc": "2.0", "method": "textDocument/didChange", "params": {
                "textDocument": {"uri": uri, "version": version},
                "contentChanges": [{"text": text}]}})
        client.until(lambda m: m.get("method") == "textDocument/publishDiagnostics")
        changes.append(time.perf_counter() - start)
        for method, times in (("textDocument/hover", hovers),
                              ("textDocument/completion", completions)):
            start = time.perf_counter()
            client.send({"jsonrpc": "2.0", "id": version, "method": method, "params": {
                "textDocument": {"uri": uri}, "position": {"line": line, "character": 8}}})
            client.until(lambda m: m.get("id") == version)
            times.append(time.perf_counter() - start)
    client.send({"jsonrpc": "2.0", "id": 99, "method": "shutdown"})
    client.until(lambda m: m.get("id") == 99)
    client.send({"jsonrpc": "2.0", "method": "exit"})
    client.process.wait(timeout=60)

    size = len(text.encode()) / 1e6
    print("source: %.2f MB, %d lines" % (size, text.count("\n")))
    print("zarn check (peer):          %7.1f ms" % (min(check) * 1000))
    print("lsp open/change to diagnostics: %7.1f ms  (%.2fx the check)"
          % (min(changes) * 1000, min(changes) / min(check)))
    print("lsp hover:                  %7.1f ms" % (min(hovers) * 1000))
    print("lsp completion:             %7.1f ms" % (min(completions) * 1000))


if __name__ == "__main__":
    main()
