"""The registry API driven with curl: what vek reads, and every error status."""
import json

from registrytest import RegistryTestCase, archive, main, sha256


class PublishAndRead(RegistryTestCase):
    def test_published_versions_are_served_as_the_client_reads_them(self):
        first = archive("json-kit", "1.0.0",
                        'description = "JSON tools"\nlicense = "MIT"\nkeywords = ["Parse"]\n'
                        '\n[dependencies]\nbase = "^1.0"\n\n[dev-dependencies]\nt = "1.0"\n')
        status, answer = self.publish(first)
        self.assertEqual(status, 201, answer)
        self.assertEqual(answer["checksum"], sha256(first))
        self.assertEqual(self.publish(archive("json-kit", "1.10.0"))[0], 201)
        self.assertEqual(self.publish(archive("json-kit", "1.2.0-rc.1+b7"))[0], 201)

        # Ascending precedence: the client takes the last one as the newest.
        self.assertEqual(self.curl_json("/api/v1/packages/json-kit/versions"),
                         (200, ["1.0.0", "1.2.0-rc.1+b7", "1.10.0"]))
        status, details = self.curl_json("/api/v1/packages/json-kit/1.0.0")
        self.assertEqual(status, 200)
        self.assertEqual(details["checksum"], sha256(first))
        self.assertEqual(details["dependencies"], [{"name": "base", "constraint": "^1.0"}])
        # A version asked for with or without its build metadata is the same.
        self.assertEqual(self.curl_json("/api/v1/packages/json-kit/1.2.0-rc.1")[0], 200)
        self.assertEqual(self.curl_json("/api/v1/packages/json-kit/1.2.0-rc.1%2Bb7")[0], 200)

        status, info = self.curl_json("/api/v1/packages/json-kit")
        self.assertEqual(status, 200)
        self.assertEqual(info["name"], "json-kit")
        self.assertEqual(info["latest"], "1.10.0")
        self.assertEqual(info["versions"], ["1.0.0", "1.2.0-rc.1+b7", "1.10.0"])
        self.assertEqual(info["license"], "MIT")
        self.assertEqual(info["owners"], ["ada"])

        status, body = self.curl("/api/v1/packages/json-kit/1.0.0/download")
        self.assertEqual((status, body), (200, first))

    def test_search_by_either_path_matches_name_description_and_keywords(self):
        self.publish(archive("zeta", "1.0.0", 'description = "A JSON reader"\n'))
        self.publish(archive("alpha", "1.0.0", 'keywords = ["json"]\n'))
        self.publish(archive("other", "1.0.0"))
        for path in ("/api/v1/packages?q=Json", "/api/v1/search?q=JSON"):
            status, results = self.curl_json(path)
            self.assertEqual(status, 200)
            self.assertEqual([r["name"] for r in results], ["alpha", "zeta"])
            self.assertEqual(results[1]["description"], "A JSON reader")
            self.assertEqual(results[1]["versions"], ["1.0.0"])
        self.assertEqual(len(self.curl_json("/api/v1/search?q=")[1]), 3)
        self.assertEqual(self.curl_json("/api/v1/search?q=%00%ff")[1], [])

    def test_login_answers_a_token_that_can_publish(self):
        status, answer = self.curl_json(
            "/api/v1/auth/login", method="POST",
            body=json.dumps({"usernameOrEmail": "ada@example.org", "password": "s3cret"}).encode(),
            headers=["Content-Type: application/json"])
        self.assertEqual(status, 200)
        self.assertEqual((answer["username"], answer["email"]), ("ada", "ada@example.org"))
        self.assertEqual(self.publish(archive("kit", "1.0.0"), token=answer["cliToken"])[0], 201)
        # The token of `vek-registry token` works as well, through either header vek sends.
        token = self.token
        status, _ = self.curl_json("/api/v1/packages/publish", method="POST",
                                   body=archive("kit", "1.1.0"), headers=[f"X-VEK-Token: {token}"])
        self.assertEqual(status, 201)


class Errors(RegistryTestCase):
    def test_authentication(self):
        self.assertError(self.publish(archive("kit", "1.0.0"), token="0" * 64), 401, "invalid")
        status, answer = self.curl_json("/api/v1/packages/publish", method="POST",
                                        body=archive("kit", "1.0.0"))
        self.assertError((status, answer), 401, "authentication required")
        login = "/api/v1/auth/login"
        for body in (b'{"usernameOrEmail":"ada","password":"wrong"}',
                     b'{"usernameOrEmail":"nobody","password":"s3cret"}'):
            self.assertError(self.curl_json(login, method="POST", body=body), 401,
                             "invalid username or password")
        for body in (b"", b"not json", b'{"usernameOrEmail":1,"password":"x"}', b"[]",
                     b'{"usernameOrEmail":"ada"}'):
            self.assertError(self.curl_json(login, method="POST", body=body), 400)
        # Only owners publish further versions.
        self.assertEqual(self.publish(archive("kit", "1.0.0"))[0], 201)
        other = self.add_user("bob", "", "pw")
        self.assertError(self.publish(archive("kit", "2.0.0"), token=other), 403, "not an owner")

    def test_a_version_is_published_once(self):
        self.assertEqual(self.publish(archive("kit", "1.0.0"))[0], 201)
        for version in ("1.0.0", "1.0.0+rebuilt", "v1.0.0"):
            self.assertEqual(self.publish(archive("kit", version, 'description = "x"\n')),
                             (409, {"error": "version exists"}))

    def test_hostile_archives_are_refused_and_leave_nothing(self):
        ok = archive("kit", "1.0.0")
        cases = [
            (b"", "empty"),
            (b"this is not a zip file", "not a ZIP"),
            (ok[:50], "cannot be read"),
            (archive("kit", "1.0.0", files={"../escape.zarn": b"x"}), "unsafe entry name"),
            (archive("kit", "1.0.0", files={"/etc/passwd": b"x"}), "unsafe entry name"),
            (archive("kit", "1.0.0", files={"src/a\x1b[2J.zarn": b"x"}), "unsafe entry name"),
            (archive("Kit", "1.0.0"), "lowercase"),
            (archive("k\u00e9t", "1.0.0"), "alphanumeric"),
            (archive("vek", "1.0.0"), "reserved"),
            (archive("kit", "1.0.0-../../x"), "may only use letters"),
            (archive("kit", "1.0"), "Invalid package version"),
            (archive("kit", "1.0.0", '\n[dependencies]\nx = { path = "../x" }\n'), "registry"),
        ]
        for data, text in cases:
            with self.subTest(text=text):
                self.assertError(self.publish(data), 400, text)
        self.assertEqual(self.curl_json("/api/v1/search?q=")[1], [])
        self.assertEqual(list((self.data / "archives").iterdir()), [])
        # The store still takes good archives afterwards.
        self.assertEqual(self.publish(ok)[0], 201)

    def test_a_body_over_the_limit_is_413(self):
        big = archive("kit", "1.0.0", files={"src/big.bin": b"x" * (50 * 1024 * 1024)})
        self.assertError(self.publish(big), 413)
        self.assertEqual(self.curl_json("/api/v1/packages/kit/versions")[0], 404)

    def test_unknown_and_malformed_paths(self):
        self.publish(archive("kit", "1.0.0"))
        for path in ("/api/v1/packages/nope", "/api/v1/packages/nope/versions",
                     "/api/v1/packages/kit/2.0.0", "/api/v1/packages/kit/2.0.0/download",
                     "/api/v1/nothing", "/api/v1/packages/kit/1.0.0-%2e%2e%2fx"):
            with self.subTest(path=path):
                self.assertError(self.curl_json(path), 404)
        for path in ("/api/v1/packages/Kit", "/api/v1/packages/k%00t/versions",
                     "/api/v1/packages/%ff%fe", "/api/v1/packages/" + "a" * 65,
                     "/api/v1/packages/kit/1.0", "/api/v1/packages/kit/1.0.0-a%20b",
                     "/api/v1/packages/kit/%ff/download", "/api/v1/search?q=x&limit=-1"):
            with self.subTest(path=path):
                self.assertError(self.curl_json(path), 400)


if __name__ == "__main__":
    main()
