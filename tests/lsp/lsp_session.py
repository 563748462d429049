#!/usr/bin/env python3
"""Plays one scripted session against `zarn lsp` over pipes.

Usage: lsp_session.py ZARN CASE_DIRECTORY

A case is a directory: its source files (copied to a scratch directory, where
the server runs) and "session.json", a script of steps, each one of:
  {"send": MESSAGE}             a JSON-RPC message, framed by the client
  {"raw": TEXT}                 bytes sent as they are (for malformed input)
  {"expect": MESSAGE}           the next message from the server must match
  {"check_matches_cli": FILE}   the last diagnostics published for FILE are the
                                ones `zarn check FILE` prints
  {"close_input": true}         the client closes the server's input
  {"close_output": true}        the client stops reading the server's output
  {"await_exit": true}          the server must end by itself (input still open)
Placeholders anywhere in a message:
  "$URI(file)", "$TEXT(file)"   the URI and the text of a case file
  {"$pos": [file, needle, delta=0, occurrence=0]}    the position of a needle
  {"$range": [file, needle, occurrence=0, delta=0, length=len(needle)]}
                                the range the needle (or the part of it from
                                delta, length bytes long) covers
Matching: an expected object's keys must be present with matching values
(other keys may be there); lists match element by element, except
{"$contains": [...]} (each element matches some element) and
{"$lacks": [...]} (no element matches any of these).
The session's "exit_status" is the status the server must end with.
"""

import json
import os
import re
import select
import subprocess
import sys
import tempfile
import time
import urllib.parse

TIMEOUT = 20.0  # seconds any one answer may take


class Failure(Exception):
    pass


class Session:
    def __init__(self, zarn, directory, files):
        self.zarn = zarn
        self.directory = directory
        self.files = files
        self.process = subprocess.Popen([zarn, "lsp"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, cwd=directory)
        self.buffer = b""
        self.published = {}
        self.output_open = True

    # ---- placeholders -------------------------------------------------------

    def path(self, name):
        return os.path.join(self.directory, name)

    def uri(self, name):
        return "file://" + urllib.parse.quote(self.path(name))

    def position(self, name, offset):
        text = self.files[name].encode("utf-8")[:offset].decode("utf-8", "replace")
        line = text.count("\n")
        column = text[text.rfind("\n") + 1:]
        return {"line": line, "character": len(column.encode("utf-16-le")) // 2}

    def find(self, name, needle, occurrence):
        data = self.files[name].encode("utf-8")
        at = -1
        for _ in range(occurrence + 1):
            at = data.find(needle.encode("utf-8"), at + 1)
            if at < 0:
                raise Failure("needle %r not found in %s" % (needle, name))
        return at

    def expand(self, value):
        if isinstance(value, str):
            match = re.fullmatch(r"\$(URI|TEXT)\((.+)\)", value)
            if match and match.group(1) == "URI":
                return self.uri(match.group(2))
            if match:
                return self.files[match.group(2)]
            return value
        if isinstance(value, list):
            return [self.expand(item) for item in value]
        if isinstance(value, dict):
            if "$pos" in value:
                name, needle, *rest = value["$pos"]
                delta = rest[0] if rest else 0
                occurrence = rest[1] if len(rest) > 1 else 0
                return self.position(name, self.find(name, needle, occurrence) + delta)
            if "$range" in value:
                name, needle, *rest = value["$range"]
                at = self.find(name, needle, rest[0] if rest else 0)
                at += rest[1] if len(rest) > 1 else 0
                length = rest[2] if len(rest) > 2 else len(needle.encode("utf-8"))
                return {"start": self.position(name, at), "end": self.position(name, at + length)}
            return {key: self.expand(item) for key, item in value.items()}
        return value

    # ---- transport ----------------------------------------------------------

    def write(self, data):
        try:
            self.process.stdin.write(data)
            self.process.stdin.flush()
        except BrokenPipeError:
            pass  # the server has gone; its exit status tells whether that was right

    def send(self, message):
        body = json.dumps(message).encode("utf-8")
        self.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)

    def read_message(self):
        deadline = time.monotonic() + TIMEOUT
        while True:
            header_end = self.buffer.find(b"\r\n\r\n")
            if header_end >= 0:
                header = self.buffer[:header_end].decode("ascii")
                length = int(re.search(r"Content-Length: (\d+)", header).group(1))
                start = header_end + 4
                if len(self.buffer) >= start + length:
                    body = self.buffer[start:start + length]
                    self.buffer = self.buffer[start + length:]
                    return json.loads(body)
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise Failure("no answer within %.0f seconds" % TIMEOUT)
            ready, _, _ = select.select([self.process.stdout], [], [], remaining)
            if ready:
                chunk = os.read(self.process.stdout.fileno(), 65536)
                if not chunk:
                    raise Failure("the server closed its output")
                self.buffer += chunk

    def next_message(self):
        message = self.read_message()
        if message.get("method") == "textDocument/publishDiagnostics":
            self.published[message["params"]["uri"]] = message["params"]["diagnostics"]
        return message

    # ---- comparison ---------------------------------------------------------

    def check_matches_cli(self, name):
        result = subprocess.run([self.zarn, "check", name], cwd=self.directory,
                                capture_output=True, timeout=TIMEOUT)
        text = result.stdout.decode("utf-8", "replace")
        expected = []
        for match in re.finditer(r"^error\[(E\d{4})\]: (.*)\n  --> (.*):(\d+):(\d+)$", text,
                                 re.M):
            code, message, file, line, column = match.groups()
            if file != name:
                continue
            data = self.files[name].encode("utf-8")
            starts = [0] + [i + 1 for i, byte in enumerate(data) if byte == 10]
            offset = starts[int(line) - 1] + int(column) - 1
            expected.append((code, message, self.position(name, offset)))
        published = self.published.get(self.uri(name))
        if published is None:
            raise Failure("no diagnostics were published for " + name)
        actual = [(d.get("code"), d["message"], d["range"]["start"]) for d in published]
        if actual != expected:
            raise Failure("diagnostics differ from zarn check:\n  lsp: %r\n  cli: %r"
                          % (actual, expected))


def matches(expected, actual, where="$"):
    if isinstance(expected, dict) and "$contains" in expected:
        if not isinstance(actual, list):
            return "%s: expected a list, got %r" % (where, actual)
        for item in expected["$contains"]:
            if all(matches(item, element) for element in actual):
                return "%s: no element matches %r" % (where, item)
        return None
    if isinstance(expected, dict) and "$lacks" in expected:
        if not isinstance(actual, list):
            return "%s: expected a list, got %r" % (where, actual)
        for item in expected["$lacks"]:
            for element in actual:
                if matches(item, element) is None:
                    return "%s: unexpected element %r" % (where, element)
        return None
    if isinstance(expected, dict):
        if not isinstance(actual, dict):
            return "%s: expected an object, got %r" % (where, actual)
        for key, value in expected.items():
            if key not in actual:
                return "%s: missing key %r in %r" % (where, key, actual)
            problem = matches(value, actual[key], where + "." + key)
            if problem:
                return problem
        return None
    if isinstance(expected, list):
        if not isinstance(actual, list) or len(actual) != len(expected):
            return "%s: expected %r, got %r" % (where, expected, actual)
        for index, (want, got) in enumerate(zip(expected, actual)):
            problem = matches(want, got, "%s[%d]" % (where, index))
            if problem:
                return problem
        return None
    if expected != actual:
        return "%s: expected %r, got %r" % (where, expected, actual)
    return None


def run_case(zarn, case_path):
    with open(os.path.join(case_path, "session.json"), encoding="utf-8") as handle:
        case = json.load(handle)
    files = {}
    for root, _, names in os.walk(case_path):
        for name in sorted(names):
            path = os.path.join(root, name)
            relative = os.path.relpath(path, case_path)
            if relative != "session.json":
                with open(path, encoding="utf-8", newline="") as handle:
                    files[relative] = handle.read()
    with tempfile.TemporaryDirectory() as directory:
        for name, text in files.items():
            path = os.path.join(directory, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8", newline="") as handle:
                handle.write(text)
        session = Session(zarn, directory, files)
        try:
            for number, step in enumerate(case["script"], 1):
                try:
                    if "send" in step:
                        session.send(session.expand(step["send"]))
                    elif "raw" in step:
                        session.write(step["raw"].encode("utf-8"))
                    elif "expect" in step:
                        want = session.expand(step["expect"])
                        got = session.next_message()
                        problem = matches(want, got)
                        if problem:
                            raise Failure(problem)
                    elif "check_matches_cli" in step:
                        session.check_matches_cli(step["check_matches_cli"])
                    elif "close_input" in step:
                        session.process.stdin.close()
                    elif "close_output" in step:
                        session.process.stdout.close()
                    elif "await_exit" in step:
                        try:
                            session.process.wait(timeout=TIMEOUT)
                        except subprocess.TimeoutExpired:
                            raise Failure("the server is still running")
                    else:
                        raise Failure("unknown step %r" % step)
                except Failure as failure:
                    raise Failure("step %d (%s): %s" % (number, json.dumps(step)[:120], failure))
            if not session.process.stdin.closed:
                try:
                    session.process.stdin.close()
                except BrokenPipeError:
                    pass
            try:
                status = session.process.wait(timeout=TIMEOUT)
            except subprocess.TimeoutExpired:
                session.process.kill()
                raise Failure("the server did not exit")
            if status != case.get("exit_status", 0):
                raise Failure("exit status %d, expected %d" % (status, case.get("exit_status", 0)))
        finally:
            if session.process.poll() is None:
                session.process.kill()
                session.process.wait()


def main():
    zarn, case_path = os.path.abspath(sys.argv[1]), sys.argv[2]
    try:
        run_case(zarn, case_path)
    except Failure as failure:
        print("FAIL %s: %s" % (os.path.basename(os.path.normpath(case_path)), failure))
        return 1
    print("ok %s" % os.path.basename(os.path.normpath(case_path)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
