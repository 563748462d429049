"""Shared set-up of the vek command-line tests: each test gets a scratch
directory, its own ZARN_HOME and an environment without registry settings."""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

VEK = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else None


class VekTestCase(unittest.TestCase):
    def setUp(self):
        self.root = pathlib.Path(tempfile.mkdtemp(prefix="vek-cli-"))
        self.home = self.root / "home"
        self.work = self.root / "work"
        self.work.mkdir()
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith("VEK_") and k not in ("ZARN_HOME", "USERPROFILE")}
        self.env["ZARN_HOME"] = str(self.home)
        self.env["HOME"] = str(self.root / "user")

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def vek(self, *args, cwd=None, stdin="", env=None):
        """Runs vek; returns (exit status, stdout, stderr) as text."""
        full_env = dict(self.env)
        full_env.update(env or {})
        result = subprocess.run([VEK, *args], cwd=cwd or self.work, input=stdin.encode(),
                                capture_output=True, env=full_env, timeout=60)
        return result.returncode, result.stdout.decode(), result.stderr.decode()

    def assertRun(self, args, status=0, out=None, err="", **kwargs):
        code, stdout, stderr = self.vek(*args, **kwargs)
        self.assertEqual(stderr, err, f"stderr of vek {args}")
        if out is not None:
            self.assertEqual(stdout, out, f"stdout of vek {args}")
        self.assertEqual(code, status, f"exit status of vek {args}")
        return stdout

    def make_project(self, name="demo"):
        self.assertRun(["new", name], out=f"Created binary (application) `{name}` package\n")
        return self.work / name


def main():
    unittest.main(argv=[sys.argv[0]], verbosity=2)
