"""A small registry for the command-line tests: the REST API that vek talks
to, kept in memory, served on 127.0.0.1 with a port chosen by the system.
Tests can replace any answer (`override`) and read the requests it got."""
import hashlib
import http.server
import io
import json
import threading
import tomllib
import urllib.parse
import zipfile

TOKEN = "tok-123456789abcdef"


class Registry:
    def __init__(self):
        self.packages = {}      # name -> version -> {"archive", "checksum", "dependencies", ...}
        self.overrides = {}     # path -> (status, body bytes) or a callable(handler)
        self.requests = []      # (method, path, headers)
        self.users = {"ada": ("secret", "ada@example.org")}
        registry = self

        class Handler(http.server.BaseHTTPRequestHandler):
            # Headers and body go out as separate writes; without this each
            # answer would wait for the client's delayed acknowledgement.
            disable_nagle_algorithm = True

            def log_message(self, *args):
                pass

            def do_GET(self):
                registry.handle(self, "GET")

            def do_POST(self):
                registry.handle(self, "POST")

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}"

    def close(self):
        self.server.shutdown()
        self.server.server_close()

    # --- content -----------------------------------------------------------
    def add(self, name, version, archive, dependencies=(), checksum=None, description=""):
        self.packages.setdefault(name, {})[version] = {
            "archive": archive,
            "checksum": checksum if checksum is not None else
            "sha256:" + hashlib.sha256(archive).hexdigest(),
            "dependencies": [{"name": n, "constraint": c} for n, c in dependencies],
            "description": description,
        }

    def summary(self, name):
        versions = self.packages[name]
        latest = list(versions)[-1]
        return {"name": name, "description": versions[latest]["description"], "latest": latest,
                "license": "MIT", "versions": list(versions)}

    # --- serving -----------------------------------------------------------
    def handle(self, handler, method):
        parsed = urllib.parse.urlsplit(handler.path)
        length = int(handler.headers.get("Content-Length") or 0)
        body = handler.rfile.read(length) if length else b""
        self.requests.append((method, handler.path, dict(handler.headers)))
        override = self.overrides.get(parsed.path)
        if callable(override):
            return override(handler)
        if override is not None:
            return self.send(handler, *override)
        parts = [urllib.parse.unquote(p) for p in parsed.path.split("/")[1:]]
        if parts[:2] != ["api", "v1"]:
            return self.send(handler, 404, {"error": "no such endpoint"})
        parts = parts[2:]
        query = urllib.parse.parse_qs(parsed.query).get("q", [""])[0]
        if method == "POST" and parts == ["auth", "login"]:
            request = json.loads(body)
            user = self.users.get(request.get("usernameOrEmail"))
            if not user or user[0] != request.get("password"):
                return self.send(handler, 401, {"error": "invalid credentials"})
            return self.send(handler, 200, {"cliToken": TOKEN, "username": request["usernameOrEmail"],
                                            "email": user[1]})
        if method == "POST" and parts == ["packages", "publish"]:
            if handler.headers.get("Authorization") != f"Bearer {TOKEN}":
                return self.send(handler, 401, {"error": "invalid token"})
            return self.publish(handler, body)
        if parts == ["packages"] or parts == ["search"]:
            found = [self.summary(n) for n in sorted(self.packages) if query in n]
            return self.send(handler, 200, found)
        if len(parts) < 2 or parts[0] != "packages" or parts[1] not in self.packages:
            return self.send(handler, 404, {"error": "package not found"})
        name, versions = parts[1], self.packages[parts[1]]
        if len(parts) == 2:
            return self.send(handler, 200, self.summary(name))
        if parts[2:] == ["versions"]:
            return self.send(handler, 200, list(versions))
        entry = versions.get(parts[2])
        if entry is None:
            return self.send(handler, 404, {"error": "version not found"})
        if parts[3:] == ["download"]:
            return self.send(handler, 200, entry["archive"], "application/octet-stream")
        return self.send(handler, 200, {"name": name, "version": parts[2],
                                        "checksum": entry["checksum"],
                                        "dependencies": entry["dependencies"]})

    def publish(self, handler, archive):
        with zipfile.ZipFile(io.BytesIO(archive)) as z:
            manifest = tomllib.loads(z.read("zarn.toml").decode())
        package = manifest["package"]
        name, version = package["name"], package["version"]
        if version in self.packages.get(name, {}):
            return self.send(handler, 409, {"error": "version exists"})
        dependencies = [(n, c if isinstance(c, str) else c.get("version", "*"))
                        for n, c in manifest.get("dependencies", {}).items()]
        self.add(name, version, archive, dependencies, description=package.get("description", ""))
        return self.send(handler, 201, {"name": name, "version": version})

    @staticmethod
    def send(handler, status, body, content_type="application/json"):
        if not isinstance(body, (bytes, str)):
            body = json.dumps(body)
        if isinstance(body, str):
            body = body.encode()
        handler.send_response(status)
        handler.send_header("Content-Type", content_type)
        handler.send_header("Content-Length", str(len(body)))
        handler.end_headers()
        handler.wfile.write(body)


def cut_after(count, total):
    """An answer that announces `total` bytes, sends `count` of them and
    closes the connection."""
    def answer(handler):
        handler.send_response(200)
        handler.send_header("Content-Type", "application/octet-stream")
        handler.send_header("Content-Length", str(total))
        handler.end_headers()
        handler.wfile.write(b"x" * count)
        handler.wfile.flush()
        handler.close_connection = True
    return answer
