"""Shared set-up of the registry's end-to-end tests: each test starts
vek-registry on a free port of 127.0.0.1 with a fresh data folder and talks to
it with curl (and raw sockets where a client must misbehave)."""
import hashlib
import io
import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

REGISTRY = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else None
VEK = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None


def archive(name, version, extra="", files=None):
    """A package archive as vek packs it: stored entries, zarn.toml first."""
    manifest = f'[package]\nname = "{name}"\nversion = "{version}"\n{extra}'
    entries = [("zarn.toml", manifest.encode())]
    entries += list((files or {"src/main.zarn": b'print("hi");\n'}).items())
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as zf:
        for entry, data in entries:
            info = zipfile.ZipInfo(entry, date_time=(1980, 1, 1, 0, 0, 0))
            zf.writestr(info, data)
    return buffer.getvalue()


class Server:
    """One running vek-registry process."""

    def __init__(self, data, *flags):
        # The request log goes to a file: a full pipe would stall the server.
        self.log = open(pathlib.Path(data).parent / "server.log", "ab")
        self.process = subprocess.Popen(
            [REGISTRY, "--listen", "127.0.0.1:0", "--data", str(data), *flags],
            stdout=subprocess.PIPE, stderr=self.log)
        line = self.process.stdout.readline().decode()
        prefix = "vek-registry listening on http://127.0.0.1:"
        if not line.startswith(prefix):
            self.process.kill()
            self.process.wait()
            raise RuntimeError("server did not start: " + line)
        self.port = int(line[len(prefix):])
        self.url = f"http://127.0.0.1:{self.port}"

    def stop(self, sig=signal.SIGTERM, timeout=30):
        """Sends the signal; returns (exit status, seconds it took, stdout rest)."""
        start = time.monotonic()
        self.process.send_signal(sig)
        out, _ = self.process.communicate(timeout=timeout)
        self.log.close()
        return self.process.returncode, time.monotonic() - start, out.decode()


class RegistryTestCase(unittest.TestCase):
    def setUp(self):
        self.root = pathlib.Path(tempfile.mkdtemp(prefix="vek-registry-"))
        self.data = self.root / "data"
        self.server = Server(self.data)
        self.url = self.server.url
        self.token = self.add_user("ada", "ada@example.org", "s3cret")

    def tearDown(self):
        if self.server.process.poll() is None:
            self.server.process.kill()
            self.server.process.communicate()
        self.server.log.close()
        shutil.rmtree(self.root, ignore_errors=True)

    def add_user(self, name, email, password):
        args = [REGISTRY, "adduser", name, "--data", str(self.data)]
        if email:
            args += ["--email", email]
        result = subprocess.run(args, input=(password + "\n").encode(), capture_output=True,
                                timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        return result.stdout.decode().strip()

    def curl(self, path, method="GET", body=None, token=None, headers=()):
        """Returns (status, body bytes) of one request made by curl."""
        args = ["curl", "-s", "-o", "-", "-w", "\n%{http_code}", "-X", method,
                "--max-time", "60", "-H", "Expect:"]
        if token:
            args += ["-H", f"Authorization: Bearer {token}"]
        for header in headers:
            args += ["-H", header]
        if body is not None:
            args += ["--data-binary", "@-"]
        result = subprocess.run(args + [self.url + path], input=body, capture_output=True,
                                timeout=90)
        out = result.stdout
        cut = out.rindex(b"\n")
        return int(out[cut + 1:]), out[:cut]

    def curl_json(self, path, **kwargs):
        status, body = self.curl(path, **kwargs)
        return status, json.loads(body)

    def publish(self, data, token=None, content_type="application/octet-stream"):
        return self.curl_json("/api/v1/packages/publish", method="POST", body=data,
                              token=token or self.token,
                              headers=[f"Content-Type: {content_type}"])

    def assertError(self, answer, status, text=None):
        self.assertEqual(answer[0], status, answer)
        self.assertIsInstance(answer[1].get("error"), str, answer)
        if text is not None:
            self.assertIn(text, answer[1]["error"])


def sha256(data):
    return "sha256:" + hashlib.sha256(data).hexdigest()


def main():
    unittest.main(argv=[sys.argv[0]], verbosity=2)
