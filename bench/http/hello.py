"""The benchmark's Python server: "Hello, World!" from ThreadingHTTPServer.
Writes its port to the file named by the first argument."""
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

BODY = b"Hello, World!"


class Hello(BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(BODY)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(BODY)

    def log_message(self, *args):
        pass


server = ThreadingHTTPServer(("127.0.0.1", 0), Hello)
with open(sys.argv[1], "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
