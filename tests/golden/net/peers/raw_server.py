"""A raw HTTP peer for the client tests: answers each connection with bytes
chosen by the request path, so that the client meets what real servers send
(no Content-Length, lower-case headers, Set-Cookie, early close, garbage).

    python3 raw_server.py PORTFILE

Writes its port to PORTFILE, serves until a request for /quit, and gives up
after 30 seconds whatever happens.
"""
import os
import socket
import sys
import time

ANSWERS = {
    "/nolength": b"HTTP/1.1 200 OK\r\ncontent-type: text/plain\r\n"
                 b"set-cookie: token=abc123; HttpOnly\r\n\r\nread until the peer closes",
    "/long": b"HTTP/1.1 203 Non-Authoritative Information\r\nContent-Length: 5\r\n\r\n"
             b"fiveXXXXXX",
    "/short": b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly ten..",
    "/empty": b"",
    "/garbage": b"this is not http\r\n\r\n",
    "/headless": b"HTTP/1.1 200 OK\r\nX-Cut: here",
    "/unchanged": b"HTTP/1.1 304 Not Modified\r\nContent-Length: 120\r\n\r\n",
}


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return data
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip())
    while len(body) < length:
        chunk = conn.recv(65536)
        if not chunk:
            break
        body += chunk
    return head + b"\r\n\r\n" + body


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    listener.settimeout(1.0)
    port_file = sys.argv[1]
    with open(port_file + ".tmp", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.rename(port_file + ".tmp", port_file)
    deadline = time.time() + 30
    while time.time() < deadline:
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        with conn:
            conn.settimeout(5.0)
            try:
                request = read_request(conn)
            except (OSError, ValueError):
                continue
            target = request.split(b" ")[1].decode() if request.count(b" ") >= 2 else ""
            path = target.split("?")[0]
            if request.startswith(b"HEAD "):
                conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 4000\r\n\r\n")
                continue
            if path == "/quit":
                conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nbye")
                return
            if path == "/echo":
                # The request exactly as it arrived, CR and LF made visible.
                # The port is the system's choice: shown as PORT.
                port = str(listener.getsockname()[1]).encode()
                text = request.replace(port, b"PORT")
                text = text.replace(b"\r", b"\\r").replace(b"\n", b"\\n\n")
                conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(text) + text)
                continue
            conn.sendall(ANSWERS.get(path, b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"))


main()
