"""What add, remove and publish do before they need the registry: manifest
edits, dry runs, offline failures and the publishing token."""
import json
import tomllib

import vektest

REGISTRY = "https://registry.test.example"


class DependencyCommandsTest(vektest.VekTestCase):
    def setUp(self):
        super().setUp()
        self.env["VEK_REGISTRY"] = REGISTRY
        self.project = self.make_project("app")
        self.manifest = self.project / "zarn.toml"

    def load(self):
        with open(self.manifest, "rb") as f:
            return tomllib.load(f)

    def test_add_path_and_git_dependencies(self):
        before = self.manifest.read_text()
        self.assertRun(["add", "json", "--path", "../json", "--dry-run"], cwd=self.project,
                       out="Dry-run Would add dependency 'json' with constraint '*'\n")
        self.assertEqual(self.manifest.read_text(), before)

        finished = "Finished installation of dependencies\n"
        self.assertRun(["add", "json@^1.0", "--path", "../json"], cwd=self.project,
                       out="Adding json v* to dependencies\n" + finished)
        self.assertRun(["add", "vcs", "--git", "https://example.org/v.git", "--tag", "v1",
                        "--rev=abc", "--branch", "dev", "--dev"], cwd=self.project,
                       out="Adding vcs v* to dependencies\n" + finished)
        # The package-name rules hold for dependencies too.
        self.assertRun(["add", "a\"b", "--path", "C:\\deps\\\"q\""], cwd=self.project, status=2,
                       out="", err="error[VEK002]: invalid package name\n"
                                   "  Invalid package name 'a\"b': package name may only contain "
                                   "alphanumeric characters, hyphens, and underscores\n")
        self.assertRun(["add", "", "--path", "x"], cwd=self.project, status=2, out="",
                       err="error[VEK002]: invalid package name\n"
                           "  Invalid package name '': package name cannot be empty\n")
        self.assertRun(["add", "line\nbreak", "--path", "x"], cwd=self.project, status=2, out="",
                       err="error[VEK002]: invalid package name\n"
                           "  Invalid package name 'line\nbreak': package name may only contain "
                           "alphanumeric characters, hyphens, and underscores\n")
        self.assertEqual(self.manifest.read_text(), before +
                         '[dependencies]\n'
                         'json = { path = "../json" }\n'
                         '\n'
                         '[dev-dependencies]\n'
                         'vcs = { git = "https://example.org/v.git", branch = "dev", tag = "v1", rev = "abc" }\n'
                         '\n')
        doc = self.load()
        self.assertEqual(doc["dev-dependencies"]["vcs"]["rev"], "abc")
        out = self.assertRun(["list", "--json"], cwd=self.project)
        self.assertEqual(json.loads(out), {"dependencies": {"json": "*"}})

    def test_add_errors(self):
        self.assertRun(["add"], cwd=self.project, status=2, out="",
                       err="error[VEK002]: invalid package name\n"
                           "  Missing package name. Usage: vek add <package>[@version]\n")
        self.assertRun(["add", "json", "--offline"], cwd=self.project, status=1, out="",
                       err="error[VEK006]: package not found\n"
                           "  Package 'json' was not found in the registry.\n")
        self.assertRun(["add", "json@^1", "--dry-run"], cwd=self.project, status=1, out="",
                       env={"VEK_OFFLINE": "1"},
                       err="error[VEK006]: package not found\n"
                           "  Package 'json' was not found in the registry.\n")
        self.assertRun(["add", "json", "--path", "x"], cwd=self.work, status=1, out="",
                       err="error[VEK001]: manifest parse error\n"
                           "  Failed to read zarn.toml: Could not open manifest file: "
                           f"{self.work / 'zarn.toml'}\n")
        self.assertRun(["add", "json", "--json", "--path", "x"], cwd=self.project, out="")

    def test_remove(self):
        self.assertRun(["remove"], cwd=self.project, status=2, out="",
                       err="error[VEK002]: invalid package name\n"
                           "  Missing package name to remove. Usage: vek remove <package>\n")
        self.assertRun(["remove", "json"], cwd=self.project, status=1, out="",
                       err="error[VEK004]: dependency not found\n"
                           "  Dependency 'json' is not listed in zarn.toml.\n")
        with open(self.manifest, "a") as f:
            f.write('[dependencies]\njson = "^1.0"\nhttp = "~2"\n"../../victim" = "1"\n')
        (self.project / "packages" / "json").mkdir(parents=True)
        victim = self.root / "victim"
        victim.mkdir()
        # Offline and without a lockfile, the install after the removal cannot
        # resolve what is left; the removal itself stands.
        def unavailable(name):
            return ("error[VEK008]: registry error\n"
                    f"  Package '{name}' is not in zarn.lock and cannot be resolved in offline mode.\n"
                    "  = help: Run 'vek install' with internet connection to cache dependencies.\n")
        self.env["VEK_OFFLINE"] = "1"
        self.assertRun(["remove", "json"], cwd=self.project, status=1,
                       out="Removing json from dependencies\n", err=unavailable("../../victim"))
        self.assertFalse((self.project / "packages" / "json").exists())
        self.assertEqual(self.load()["dependencies"], {"http": "~2", "../../victim": "1"})
        self.assertRun(["remove", "../../victim"], cwd=self.project, status=1,
                       out="Removing ../../victim from dependencies\n", err=unavailable("http"))
        self.assertTrue(victim.exists())
        self.assertEqual(self.load()["dependencies"], {"http": "~2"})


class PublishTest(vektest.VekTestCase):
    def setUp(self):
        super().setUp()
        self.env["VEK_REGISTRY"] = REGISTRY
        self.project = self.make_project("lib")

    def test_publish_needs_a_token(self):
        self.assertRun(["publish"], cwd=self.project, status=8, out="",
                       err="error[VEK009]: authentication error\n"
                           "  Authentication required to publish packages.\n"
                           f"  = help: Run 'vek login' to authenticate with {REGISTRY}, or supply "
                           "'--token <token>' / set VEK_TOKEN.\n")
        self.assertTrue((self.project / "lib-0.1.0.vek").exists())

    def test_publish_offline_with_each_source_of_token(self):
        failure = ("error[VEK008]: registry error\n"
                   "  Failed to publish package: Cannot publish package in offline mode.\n")
        uploading = f"Uploading lib v0.1.0 to {REGISTRY}\n"
        self.assertRun(["publish", "--token", "t", "--offline"], cwd=self.project, status=1,
                       out=uploading, err=failure)
        self.assertRun(["publish"], cwd=self.project, status=1, out=uploading, err=failure,
                       env={"VEK_TOKEN": "env", "VEK_OFFLINE": "1"})
        self.assertRun(["login", "--token", "saved"], cwd=self.project,
                       out=f"Logged in API token saved for @user ({REGISTRY})\n")
        self.assertRun(["publish", "--offline"], cwd=self.project, status=1, out=uploading,
                       err=failure)

    def test_publish_packing_failure(self):
        (self.project / "src" / "main.zarn").unlink()
        self.assertRun(["publish", "--token", "t"], cwd=self.project, status=1, out="",
                       err="error[VEK010]: invalid package archive\n"
                           "  Packaging failed before publish: Project contains no source files "
                           "under src/.\n")


if __name__ == "__main__":
    vektest.main()
