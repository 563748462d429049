"""Clients of a Zarn HTTP server: Python's http.client, curl, and raw sockets
for what well-behaved clients never send. Prints what comes back, then stops
the server with SIGINT.

    python3 server_clients.py PORT PID
"""
import http.client
import os
import signal
import socket
import subprocess
import sys
import time

PORT = int(sys.argv[1])
PID = int(sys.argv[2])


def show(title, response):
    body = response.read().decode()
    print("== " + title)
    print(response.status, response.reason)
    for name in ("Content-Type", "Content-Length", "Connection", "X-Value"):
        if response.getheader(name) is not None:
            print(name + ": " + response.getheader(name))
    for cookie in response.msg.get_all("Set-Cookie") or []:
        print("Set-Cookie: " + cookie)
    print(body)


def request(title, method, target, body=None, headers=None):
    conn = http.client.HTTPConnection("127.0.0.1", PORT, timeout=5)
    conn.request(method, target, body=body, headers=headers or {})
    show(title, conn.getresponse())
    conn.close()


def raw(title, data, pause=0.0, close_early=False):
    """Sends bytes as they are; prints the answer's first line and body."""
    sock = socket.create_connection(("127.0.0.1", PORT), timeout=5)
    start = time.time()
    try:
        sock.sendall(data)
        if close_early:
            sock.shutdown(socket.SHUT_WR)
        if pause:
            time.sleep(pause)
        answer = b""
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            answer += chunk
    except OSError as error:
        answer = ("connection error: %s" % type(error).__name__).encode()
    finally:
        sock.close()
    head, _, body = answer.partition(b"\r\n\r\n")
    print("== " + title)
    print(head.split(b"\r\n")[0].decode())
    print(body.decode())
    print("within 4 s: %s" % (time.time() - start < 4))


request("hello", "GET", "/hello")
request("route parameter and query", "GET", "/users/42?sort=name+asc")
request("query parameter alone", "GET", "/search?q=a+b%21")
request("post body", "POST", "/echo", body="ping=1", headers={"Content-Type": "text/plain"})
request("cookies", "GET", "/cookies", headers={"Cookie": "a=1; b = two ;flag"})
request("wildcard", "GET", "/static/css/site.css")
request("wildcard bare", "GET", "/static")
request("any method", "PATCH", "/any")
request("json", "DELETE", "/users/7")
request("not found", "GET", "/nope?x=1")
request("header injection refused", "GET", "/inject?v=x%0D%0ASet-Cookie:%20evil=1")

curl = subprocess.run(["curl", "-s", "-i", "--max-time", "5",
                       "http://127.0.0.1:%d/users/curl%%20user" % PORT],
                      capture_output=True, timeout=10)
print("== curl")
print(curl.stdout.decode().replace("\r", ""))

raw("not http", b"\x16\x03\x01\x02\x00\r\n\r\n")
raw("nothing sent", b"", pause=0.0)
raw("body shorter than announced", b"POST /echo HTTP/1.1\r\nContent-Length: 50\r\n\r\nshort",
    close_early=True)
raw("head too large", b"GET /hello HTTP/1.1\r\nX-Big: " + b"a" * 70000 + b"\r\n\r\n")
raw("body too large", b"POST /echo HTTP/1.1\r\nContent-Length: 20000000\r\n\r\nabc")
early = socket.create_connection(("127.0.0.1", PORT), timeout=5)
early.close()
request("after an early close", "GET", "/hello")

os.kill(PID, signal.SIGINT)
