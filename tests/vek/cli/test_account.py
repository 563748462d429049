"""The package cache and credentials commands of vek: cache, login --token,
logout, whoami, and the start of an interactive login."""
import json
import stat

import vektest



class CacheCommandTest(vektest.VekTestCase):
    def test_cache_list_path_and_clean(self):
        cache = self.home / "cache" / "packages"
        self.assertRun(["cache"], out="Cached Packages (0)\n\n")
        self.assertRun(["cache", "path"], out=f"{cache}\n")
        for name, version in (("json", "1.2.0"), ("json", "0.9.1-beta"), ("http", "2.0.0")):
            (cache / name / version).mkdir(parents=True)
        (cache / "json" / "junk").mkdir()
        expected = "Cached Packages (3)\n\nhttp 2.0.0\njson 0.9.1-beta\njson 1.2.0\n"
        self.assertRun(["cache"], out=expected)
        self.assertRun(["cache", "list"], out=expected)
        self.assertRun(["cache", "whatever"], out=expected)
        self.assertRun(["cache", "clean"], out="Cleaned global package cache.\n")
        self.assertFalse(cache.exists())
        self.assertRun(["cache", "clean"], out="Cleaned global package cache.\n")

    def test_home_falls_back_when_zarn_home_is_empty(self):
        profile = self.root / "profile"
        self.assertRun(["cache", "path"], env={"ZARN_HOME": "", "USERPROFILE": str(profile)},
                       out=f"{profile / '.zarn' / 'cache' / 'packages'}\n")
        self.assertRun(["cache", "path"], env={"ZARN_HOME": ""},
                       out=f"{self.root / 'user' / '.zarn' / 'cache' / 'packages'}\n")


class CredentialsCommandTest(vektest.VekTestCase):
    REGISTRY = "https://registry.test.example"

    def setUp(self):
        super().setUp()
        self.env["VEK_REGISTRY"] = self.REGISTRY + "/#ignored"

    def test_login_with_token_whoami_logout(self):
        self.assertRun(["whoami"], out="Not currently logged in. Run 'vek login' to authenticate.\n")
        self.assertRun(["login", "--token", "abcdefghijklmnopqrstuvwxyz"],
                       out=f"Logged in API token saved for @user ({self.REGISTRY})\n")
        path = self.home / "credentials.json"
        self.assertEqual(stat.S_IMODE(path.stat().st_mode), 0o600)
        self.assertEqual(path.read_text(),
                         '{\n  "token": "abcdefghijklmnopqrstuvwxyz",\n  "username": "user",\n'
                         f'  "email": "",\n  "registryUrl": "{self.REGISTRY}"\n}}\n')
        self.assertRun(["whoami"], out="Logged in as:  @user\n"
                                       f"Registry:      {self.REGISTRY}\n"
                                       "Token prefix:  abcdefghijkl...\n")
        self.assertRun(["login", "--token=t\"o\\k", "--username", "ann \"a\""],
                       out=f"Logged in API token saved for @ann \"a\" ({self.REGISTRY})\n")
        saved = json.loads(path.read_text())
        self.assertEqual(saved["token"], "t\"o\\k")
        self.assertEqual(saved["username"], "ann \"a\"")
        self.assertRun(["logout"], out="Logged out Saved credentials cleared.\n")
        self.assertFalse(path.exists())
        self.assertRun(["logout"], out="Logged out Saved credentials cleared.\n")
        self.assertRun(["whoami"], out="Not currently logged in. Run 'vek login' to authenticate.\n")
        self.assertRun(["login", "--token", "t", "-vv"],
                       out=f"  [DEBUG] Home directory: {self.home}\n"
                           f"Logged in API token saved for @user ({self.REGISTRY})\n")

    def test_whoami_shows_email_and_falls_back_to_the_registry_in_use(self):
        self.home.mkdir()
        (self.home / "credentials.json").write_text(
            '{"token": "short", "username": "bo", "email": "bo@example.org", "registryUrl": ""}')
        self.assertRun(["whoami"], out="Logged in as:  @bo\n"
                                       "Email:         bo@example.org\n"
                                       f"Registry:      {self.REGISTRY}\n"
                                       "Token prefix:  short...\n")

    def test_login_without_a_token_value(self):
        self.assertRun(["login", "--token"], status=2, out="",
                       err="error[VEK002]: invalid package name\n"
                           "  Missing token value. Usage: vek login --token <token>\n")
        self.assertFalse((self.home / "credentials.json").exists())

    def test_credentials_that_cannot_be_saved(self):
        self.home.parent.mkdir(exist_ok=True)
        self.home.write_text("a file, not a directory")
        self.assertRun(["login", "--token", "t"], status=1, out="",
                       err="error[VEK008]: registry error\n"
                           f"  Failed to save credentials: Failed to create directory: {self.home}\n")

    def test_credentials_file_that_cannot_be_replaced_or_removed(self):
        blocker = self.home / "credentials.json"
        (blocker / "inside").mkdir(parents=True)
        self.assertRun(["login", "--token", "t"], status=1, out="",
                       err="error[VEK008]: registry error\n"
                           "  Failed to save credentials: Failed to open credentials file for "
                           f"writing: {blocker}\n")
        self.assertRun(["logout"], status=1, out="",
                       err="error[VEK008]: registry error\n"
                           f"  Failed to clear credentials: Failed to remove credentials file: {blocker}\n")
        self.assertEqual([p.name for p in self.home.iterdir()], ["credentials.json"])

    def test_interactive_login_prompts_and_checks_input(self):
        prompt = f"Zarn Package Registry ({self.REGISTRY})\nUsername or Email: Password: "
        self.assertRun(["login"], stdin="\n\n", status=2, out=prompt,
                       err="error[VEK002]: invalid package name\n"
                           "  Username and password cannot be empty.\n")
        self.assertRun(["login"], stdin="ann\n", status=2, out=prompt,
                       err="error[VEK002]: invalid package name\n"
                           "  Username and password cannot be empty.\n")
        self.assertRun(["login", "--offline"], stdin="ann\nsecret\n", status=8,
                       out=prompt + f"Authenticating with {self.REGISTRY}...\n",
                       err="error[VEK009]: authentication error\n"
                           "  Login failed: Cannot access registry in offline mode.\n"
                           f"  = help: Check your credentials or register at {self.REGISTRY}/#packages\n")
        self.assertRun(["login"], stdin="ann\r\nsecret\r\n", status=8, env={"VEK_OFFLINE": "true"},
                       out=prompt + f"Authenticating with {self.REGISTRY}...\n",
                       err="error[VEK009]: authentication error\n"
                           "  Login failed: Cannot access registry in offline mode.\n"
                           f"  = help: Check your credentials or register at {self.REGISTRY}/#packages\n")
        self.assertFalse((self.home / "credentials.json").exists())


if __name__ == "__main__":
    vektest.main()
