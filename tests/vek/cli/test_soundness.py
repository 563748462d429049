"""Commands that change files: --dry-run changes nothing, removals never
follow links, and nothing to remove is success."""
import os

import vektest


class DryRunTest(vektest.VekTestCase):
    def tree(self):
        return sorted(str(p.relative_to(self.root)) for p in self.root.rglob("*"))

    def test_every_writing_command_previews_or_refuses(self):
        project = self.make_project("app")
        with open(project / "zarn.toml", "a") as f:
            f.write('[dependencies]\njson = "^1.0"\nbad = "not a version"\n')
        (project / "packages" / "json").mkdir(parents=True)
        self.assertRun(["login", "--token", "t"], out=None)
        (self.home / "cache" / "packages" / "x" / "1.0.0").mkdir(parents=True)
        before = self.tree()
        manifest = (project / "zarn.toml").read_text()
        cases = [
            (["remove", "json", "--dry-run"], project, "Dry-run Would remove dependency 'json'\n"),
            (["clean", "--dry-run"], project,
             "Dry-run Would remove project packages and build cache.\n"),
            (["cache", "clean", "--dry-run"], self.work,
             "Dry-run Would clean global package cache.\n"),
            (["logout", "--dry-run"], self.work, "Dry-run Would clear saved credentials.\n"),
            (["new", "other", "--dry-run"], self.work,
             "Dry-run Would create binary (application) `other` package\n"),
            (["init", "--dry-run"], self.work,
             f"Dry-run Would initialize Zarn package 'work' at {self.work}\n"),
        ]
        for args, cwd, out in cases:
            self.assertRun(args, cwd=cwd, out=out)
        self.assertEqual(self.tree(), before)
        self.assertEqual((project / "zarn.toml").read_text(), manifest)

        # The unparsable constraint is kept, and is an error only once it is needed.
        self.assertRun(["list"], cwd=project,
                       out="Dependencies\n\nbad                     not a version\n"
                           "json                    ^1.0\n")
        self.assertRun(["install", "--offline"], cwd=project, status=1, out="",
                       err="error[VEK003]: invalid version or constraint\n"
                           "  Invalid version constraint: not a version\n")


class RemovalTest(vektest.VekTestCase):
    def test_cache_clean_removes_links_not_their_targets(self):
        precious = self.root / "precious"
        (precious / "keep").mkdir(parents=True)
        (self.home / "cache").mkdir(parents=True)
        os.symlink(precious, self.home / "cache" / "packages")
        self.assertRun(["cache", "clean"], out="Cleaned global package cache.\n")
        self.assertTrue((precious / "keep").exists())
        self.assertFalse(os.path.lexists(self.home / "cache" / "packages"))

        os.symlink(precious, self.home / "cache2")
        (self.home / "cache").rmdir()
        os.rename(self.home / "cache2", self.home / "cache")
        self.assertRun(["cache", "clean"], out="Cleaned global package cache.\n")
        self.assertTrue((precious / "keep").exists())

    def test_nothing_to_remove_is_success(self):
        home_file = self.root / "home-file"
        home_file.write_text("not a folder")
        env = {"ZARN_HOME": str(home_file)}
        self.assertRun(["logout"], env=env, out="Logged out Saved credentials cleared.\n")
        self.assertRun(["cache", "clean"], env=env, out="Cleaned global package cache.\n")
        self.assertEqual(home_file.read_text(), "not a folder")

    def test_damaged_credentials_are_reported(self):
        self.home.mkdir()
        (self.home / "credentials.json").write_text('{"token": "abc"')
        self.assertRun(["whoami"],
                       out="Not currently logged in. Run 'vek login' to authenticate.\n",
                       err=f"warning: The saved credentials in {self.home / 'credentials.json'} "
                           "cannot be read; run 'vek login' again.\n")


if __name__ == "__main__":
    vektest.main()
