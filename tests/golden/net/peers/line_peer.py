"""A TCP and UDP peer for the net tests.

    python3 line_peer.py tcp PORT   connects, sends "a\\r\\nb", reads one line back, closes
    python3 line_peer.py udp PORT   sends "ping" and echoes the answer's text to stdout
"""
import socket
import sys

kind, port = sys.argv[1], int(sys.argv[2])
if kind == "tcp":
    with socket.create_connection(("127.0.0.1", port), timeout=5) as conn:
        conn.sendall(b"hello\r\nsecond line\nthird")
        conn.shutdown(socket.SHUT_WR)
        data = b""
        while b"\n" not in data:
            chunk = conn.recv(1024)
            if not chunk:
                break
            data += chunk
else:
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp:
        udp.settimeout(5)
        udp.sendto(b"ping from python", ("127.0.0.1", port))
        data, _ = udp.recvfrom(1024)
        udp.sendto(b"got " + data, ("127.0.0.1", port))
