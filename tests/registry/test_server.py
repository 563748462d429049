"""The server as a process: publish races, clients that lie or stall, the
stop on SIGINT/SIGTERM, one server per data folder."""
import signal
import socket
import subprocess
import time

from registrytest import REGISTRY, RegistryTestCase, Server, archive, main, sha256


def raw_request(port, data, shutdown_write=True, timeout=15):
    """Sends bytes as they are and returns everything the server answers."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as sock:
        sock.sendall(data)
        if shutdown_write:
            sock.shutdown(socket.SHUT_WR)
        chunks = []
        try:
            while chunk := sock.recv(65536):
                chunks.append(chunk)
        except (ConnectionResetError, socket.timeout):
            pass
        return b"".join(chunks)


class Races(RegistryTestCase):
    def test_concurrent_publishes_of_one_version_have_exactly_one_winner(self):
        for round in range(6):
            version = f"1.0.{round}"
            processes = []
            for client in range(2):
                data = archive("race", version, f'description = "client {client}"\n')
                processes.append((data, subprocess.Popen(
                    ["curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "-X", "POST",
                     "-H", f"Authorization: Bearer {self.token}", "-H", "Expect:",
                     "--data-binary", "@-", self.url + "/api/v1/packages/publish"],
                    stdin=subprocess.PIPE, stdout=subprocess.PIPE)))
            for data, process in processes:
                process.stdin.write(data)
                process.stdin.close()
            statuses = [int(process.stdout.read()) for _, process in processes]
            for _, process in processes:
                process.stdout.close()
                process.wait()
            self.assertEqual(sorted(statuses), [201, 409], version)
            # The recorded checksum is that of the winner's bytes, which are served.
            winner = processes[statuses.index(201)][0]
            status, details = self.curl_json(f"/api/v1/packages/race/{version}")
            self.assertEqual(details["checksum"], sha256(winner))
            self.assertEqual(self.curl(f"/api/v1/packages/race/{version}/download")[1], winner)
        self.assertEqual(len(list((self.data / "archives").iterdir())), 6)


class LyingClients(RegistryTestCase):
    def publish_head(self, length):
        return (f"POST /api/v1/packages/publish HTTP/1.1\r\nHost: x\r\n"
                f"Authorization: Bearer {self.token}\r\nContent-Length: {length}\r\n\r\n").encode()

    def test_bodies_that_lie_about_their_length(self):
        data = archive("kit", "1.0.0")
        # Shorter than promised, then the client stops sending.
        raw_request(self.server.port, self.publish_head(len(data) + 100) + data)
        # Longer than promised: what was promised is not an archive, and the
        # rest is read as a next request.
        answer = raw_request(self.server.port, self.publish_head(40) + data,
                             shutdown_write=False)
        self.assertTrue(answer.startswith(b"HTTP/1.1 400 "), answer)
        self.assertIn(b"cannot be read", answer)
        for length in ("abc", "-5", "99999999999999999999999", "1, 2"):
            raw_request(self.server.port, self.publish_head(length) + b"xyz")
        raw_request(self.server.port, b"\x00\xff\r\n\r\n" * 100)
        raw_request(self.server.port, b"GET /" + b"a" * 100000 + b" HTTP/1.1\r\n\r\n")
        chunked = (f"POST /api/v1/packages/publish HTTP/1.1\r\nHost: x\r\n"
                   f"Authorization: Bearer {self.token}\r\nTransfer-Encoding: chunked\r\n\r\n"
                   "fffffffffffffff\r\nabc").encode()
        raw_request(self.server.port, chunked)
        # Nothing was stored, and the server still works.
        self.assertEqual(self.curl_json("/api/v1/packages/kit/versions")[0], 404)
        self.assertEqual(list((self.data / "archives").iterdir()), [])
        self.assertEqual(self.publish(data)[0], 201)


class Stopping(RegistryTestCase):
    def test_stop_with_idle_and_half_sent_connections_is_prompt(self):
        idle = socket.create_connection(("127.0.0.1", self.server.port))
        idle.sendall(b"GET /api/v1/search?q= HTTP/1.1\r\nHost: x\r\n\r\n")
        self.assertIn(b"200 OK", idle.recv(65536))
        half = socket.create_connection(("127.0.0.1", self.server.port))
        half.sendall(self.half_request())
        time.sleep(0.3)
        status, seconds, out = self.server.stop(signal.SIGTERM)
        idle.close()
        half.close()
        self.assertEqual(status, 0)
        self.assertIn("vek-registry stopped", out)
        self.assertLess(seconds, 8)

    def half_request(self):
        return (b"POST /api/v1/packages/publish HTTP/1.1\r\nHost: x\r\n"
                b"Content-Length: 1000\r\n\r\nPK\x03\x04")

    def test_a_download_in_progress_finishes(self):
        big = archive("big", "1.0.0", files={"src/data.bin": bytes(range(256)) * 80000})
        self.assertEqual(self.publish(big)[0], 201)
        sock = socket.create_connection(("127.0.0.1", self.server.port), timeout=30)
        sock.sendall(b"GET /api/v1/packages/big/1.0.0/download HTTP/1.1\r\nHost: x\r\n"
                     b"Connection: close\r\n\r\n")
        first = sock.recv(1024)  # the answer has begun
        self.assertIn(b"200 OK", first)
        self.server.process.send_signal(signal.SIGINT)
        time.sleep(0.5)
        chunks = [first]
        while chunk := sock.recv(1 << 20):
            chunks.append(chunk)
        sock.close()
        answer = b"".join(chunks)
        self.assertTrue(answer.endswith(big))
        self.assertEqual(self.server.process.wait(timeout=10), 0)

    def test_one_server_per_data_folder_and_read_only_mode(self):
        result = subprocess.run([REGISTRY, "--listen", "127.0.0.1:0", "--data", str(self.data)],
                                capture_output=True, timeout=30)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"another registry server is using this data folder", result.stderr)
        self.assertEqual(self.publish(archive("kit", "1.0.0"))[0], 201)
        self.server.stop()

        self.server = Server(self.data, "--read-only")
        self.url = self.server.url
        self.assertError(self.publish(archive("kit", "2.0.0")), 403, "read-only")
        self.assertEqual(self.curl_json("/api/v1/packages/kit/versions"), (200, ["1.0.0"]))


if __name__ == "__main__":
    main()
