"""vek against the real registry: an account made with `vek-registry
adduser`, then login, publish, add, install, search and info with vek, as a
new user would run them from the README."""
import json
import os
import subprocess

from registrytest import VEK, RegistryTestCase, main, sha256

LIB_SOURCE = "function triple(n: int): int {\n    return n * 3\n}\n"


class VekEndToEnd(RegistryTestCase):
    def setUp(self):
        super().setUp()
        self.home = self.root / "home"
        self.work = self.root / "work"
        self.work.mkdir()
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith("VEK_") and k not in ("ZARN_HOME", "USERPROFILE")}
        self.env.update(ZARN_HOME=str(self.home), HOME=str(self.root / "user"),
                        VEK_REGISTRY=self.url)

    def vek(self, *args, cwd=None, stdin="", status=0):
        result = subprocess.run([VEK, *args], cwd=cwd or self.work, input=stdin.encode(),
                                capture_output=True, env=self.env, timeout=120)
        self.assertEqual(result.returncode, status,
                         f"vek {args}: {result.stdout.decode()}{result.stderr.decode()}")
        return result.stdout.decode(), result.stderr.decode()

    def library(self, name):
        self.vek("new", name)
        project = self.work / name
        (project / "src" / "main.zarn").unlink()
        (project / "src" / "lib.zarn").write_text(LIB_SOURCE)
        with open(project / "zarn.toml", "a") as f:
            f.write('[build]\nentry = "src/lib.zarn"\n')
        return project

    def test_login_publish_add_install_search_and_info(self):
        lib = self.library("mathlib")
        out, _ = self.vek("login", cwd=lib, stdin="ada@example.org\ns3cret\n")
        self.assertIn("Successfully authenticated as @ada", out)
        saved = json.loads((self.home / "credentials.json").read_text())
        self.assertEqual((saved["username"], saved["email"]), ("ada", "ada@example.org"))

        out, _ = self.vek("publish", cwd=lib)
        self.assertIn("Published mathlib v0.1.0 successfully!", out)
        _, err = self.vek("publish", cwd=lib, status=1)
        self.assertIn("Failed to publish package: version exists", err)

        app_dir = self.work / "app"
        self.vek("new", "app")
        out, _ = self.vek("add", "mathlib", cwd=app_dir)
        self.assertIn("Downloading mathlib v0.1.0", out)
        self.assertEqual((app_dir / "packages" / "mathlib" / "src" / "lib.zarn").read_text(),
                         LIB_SOURCE)
        # The lockfile holds the checksum the registry computed for the archive.
        status, details = self.curl_json("/api/v1/packages/mathlib/0.1.0")
        self.assertIn(f'checksum = "{details["checksum"]}"', (app_dir / "zarn.lock").read_text())
        _, body = self.curl("/api/v1/packages/mathlib/0.1.0/download")
        self.assertEqual(details["checksum"], sha256(body))

        # A second version: update picks it, install from a fresh home downloads again.
        (lib / "zarn.toml").write_text((lib / "zarn.toml").read_text()
                                       .replace('version = "0.1.0"', 'version = "0.1.1"'))
        self.vek("publish", cwd=lib)
        out, _ = self.vek("update", cwd=app_dir)
        self.assertIn("Downloading mathlib v0.1.1", out)
        self.env["ZARN_HOME"] = str(self.root / "other-home")
        out, _ = self.vek("install", cwd=app_dir)
        self.assertIn("Downloading mathlib v0.1.1", out)

        out, _ = self.vek("search", "MATH")
        self.assertIn("mathlib\n", out)
        self.assertIn("latest: 0.1.1", out)
        out, _ = self.vek("info", "mathlib", "--json")
        self.assertEqual(json.loads(out)["versions"], ["0.1.0", "0.1.1"])
        _, err = self.vek("info", "nope", status=1)
        self.assertIn("Package 'nope' not found.", err)

    def test_a_token_from_the_server_and_a_wrong_password(self):
        lib = self.library("toollib")
        out, err = self.vek("login", cwd=lib, stdin="ada\nwrong\n", status=8)
        self.assertIn("Login failed: invalid username or password", err)
        out, _ = self.vek("publish", "--token", self.token, cwd=lib)
        self.assertIn("Published toollib v0.1.0 successfully!", out)
        other = self.add_user("bob", "", "pw")
        (lib / "zarn.toml").write_text((lib / "zarn.toml").read_text()
                                       .replace('version = "0.1.0"', 'version = "0.2.0"'))
        _, err = self.vek("publish", "--token", other, cwd=lib, status=1)
        self.assertIn("'bob' is not an owner of package 'toollib'", err)


if __name__ == "__main__":
    main()
