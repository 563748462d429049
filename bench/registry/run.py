"""Metadata requests per second: vek-registry answering the details of one
version against Python's http.server serving the same JSON from a file, both
on 127.0.0.1, each loaded by wrk for the same time in the same run (long
enough for well over 10,000 requests to the faster one).

    python3 bench/registry/run.py [BUILD_DIR] [SECONDS]
"""
import io
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.request
import zipfile

BUILD = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
SECONDS = int(sys.argv[2]) if len(sys.argv) > 2 else 10
THREADS, CONNECTIONS = 2, 8

def archive():
    manifest = b'[package]\nname = "bench"\nversion = "1.0.0"\n\n[dependencies]\nbase = "^1.0"\n'
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as zf:
        zf.writestr("zarn.toml", manifest)
        zf.writestr("src/lib.zarn", b"function f(): int {\n    return 1\n}\n")
    return buffer.getvalue()


def wrk(url):
    out = subprocess.run(["wrk", "-t", str(THREADS), "-c", str(CONNECTIONS), "-d",
                          f"{SECONDS}s", url], capture_output=True, text=True, check=True).stdout
    done = int(re.search(r"(\d+) requests in", out).group(1))
    return done, float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1))


def main():
    root = pathlib.Path(tempfile.mkdtemp(prefix="registry-bench-"))
    servers = []
    try:
        data = root / "data"
        token = subprocess.run([BUILD / "vek-registry", "adduser", "bench", "--data", data],
                               input=b"pw\n", capture_output=True, check=True).stdout.strip()
        registry = subprocess.Popen([BUILD / "vek-registry", "--listen", "127.0.0.1:0",
                                     "--data", data, "--quiet"], stdout=subprocess.PIPE)
        servers.append(registry)
        port = int(registry.stdout.readline().decode().rsplit(":", 1)[1])
        base = f"http://127.0.0.1:{port}"
        request = urllib.request.Request(base + "/api/v1/packages/publish", data=archive(),
                                         headers={"Authorization": "Bearer " + token.decode()})
        urllib.request.urlopen(request).read()
        body = urllib.request.urlopen(base + "/api/v1/packages/bench/1.0.0").read()

        static = root / "static"
        (static / "bench").mkdir(parents=True)
        (static / "bench" / "1.0.0").write_bytes(body)
        python = subprocess.Popen([sys.executable, "-m", "http.server", "0", "--bind",
                                   "127.0.0.1", "--directory", static],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        servers.append(python)
        python_port = int(re.search(rb"port (\d+)", python.stdout.readline()).group(1))

        ours = wrk(base + "/api/v1/packages/bench/1.0.0")
        theirs = wrk(f"http://127.0.0.1:{python_port}/bench/1.0.0")
        print(f"wrk -t{THREADS} -c{CONNECTIONS} -d{SECONDS}s, {len(body)}-byte JSON answer")
        print(f"  vek-registry       {ours[0]:7d} requests  {ours[1]:8.0f} req/s")
        print(f"  python http.server {theirs[0]:7d} requests  {theirs[1]:8.0f} req/s")
        print(f"  ratio vek-registry / http.server: {ours[1] / theirs[1]:.1f}x")
    finally:
        for server in servers:
            server.terminate()
            server.wait()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
