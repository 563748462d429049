"""Argument handling of vek: help, version, unknown commands, global options,
console output on terminals and in JSON mode."""
import os
import pty
import subprocess

import vektest

HELP = """Zarn Package Manager (vek) 1.0.0

Usage:
  vek <command> [arguments] [options]

Project Commands:
  new <name>            Create a new Zarn project
  init [name]           Initialize an existing directory as a Zarn package
  build                 Compile the current project
  run [-- <args>]       Run project entry point with arguments
  check                 Type check project without executing
  clean                 Remove project packages and build cache

Dependency Commands:
  add <pkg>[@version]   Add dependency to zarn.toml and install
  remove <pkg>          Remove dependency from zarn.toml
  install               Install all dependencies from lockfile/manifest
  update [pkg]          Update dependencies to latest compatible versions
  list                  List direct dependencies
  tree                  Display visual dependency tree

Package & Registry Commands:
  package               Build .vek package archive
  publish [--token <t>] Publish package to registry (requires authentication)
  login [--token <t>]   Authenticate with online registry
  logout                Clear saved registry authentication
  whoami                Display currently authenticated user
  search <query>        Search for packages in online registry
  info <pkg>            Show details and versions of a package
  cache [clean|list]    Manage global package cache

General Options:
  -v, -vv, -vvv         Verbose, debug, or trace output
  --json                Emit machine-readable JSON output
  --offline             Disable all network operations
  --dry-run             Preview changes without modifying files
  --help, -h            Show this help message
"""


class DispatchTest(vektest.VekTestCase):
    def test_help_is_shown_for_every_way_of_asking(self):
        for args in ([], ["help"], ["anything", "-h"], ["anything", "--help"], ["new", "x", "--h"],
                     ["", "help"]):
            self.assertRun(args, out=HELP)
        # Nothing was created by "new x --h".
        self.assertFalse((self.work / "x").exists())

    def test_help_columns(self):
        for line in HELP.splitlines():
            if line.startswith("  ") and not line.startswith("  vek"):
                self.assertNotEqual(line[24], " ", line)
                self.assertEqual(line[23], " ", line)

    def test_version(self):
        for args in (["version"], ["--version"], ["list", "--version"], ["--version=x"]):
            self.assertRun(args, out="vek 1.0.0 (Zarn Package Manager)\n")
        self.assertRun(["--version", "-h"], out=HELP)

    def test_unknown_command(self):
        for word in ("frobnicate", "List", "-", "versions"):
            self.assertRun([word], status=2, out="",
                           err=f"error: Unknown command '{word}'. Run 'vek help' for usage.\n")

    def test_project_commands_outside_a_project_fail_clearly(self):
        for word in ("install", "tree", "update"):
            self.assertRun([word, "x"], status=1, out="",
                           err="error[VEK001]: manifest parse error\n"
                               "  Failed to read zarn.toml: Could not open manifest file: "
                               f"{self.work / 'zarn.toml'}\n")
        for word in ("build", "run", "check"):
            self.assertRun([word], status=1, out="",
                           err="error[VEK012]: build failed\n"
                               f"  No zarn.toml manifest found in {self.work}\n")

    def test_commands_that_cannot_preview_refuse_dry_run(self):
        for word in ("run", "package", "publish", "login"):
            self.assertRun([word, "--dry-run"], status=2, out="",
                           err="error[VEK002]: invalid package name\n"
                               f"  'vek {word}' does not support --dry-run.\n")

    def test_update_dry_run_previews(self):
        self.assertRun(["update", "--dry-run"],
                       out="Dry-run Would check registry and update dependencies to latest "
                           "compatible versions.\n")
        self.assertRun(["update", "json", "--dry-run", "--json"], out="")

    def test_debug_lines_need_vv_and_no_json(self):
        expected = "  [DEBUG] Cache directory: " + str(self.home / "cache" / "packages") + "\n"
        self.assertNotIn("[DEBUG]", self.assertRun(["cache", "-v"]))
        self.assertIn(expected, self.assertRun(["cache", "-vv"]))
        self.assertIn(expected, self.assertRun(["cache", "-vvv"]))
        self.assertIn(expected, self.assertRun(["cache", "-v", "-vv"]))
        self.assertNotIn("[DEBUG]", self.assertRun(["cache", "-vv", "--json"]))

    def run_on_terminal(self, args, stream):
        """Runs vek with one of its output streams on a pseudo-terminal."""
        main, secondary = pty.openpty()
        try:
            streams = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
            streams[stream] = secondary
            proc = subprocess.Popen([vektest.VEK, *args], cwd=self.work, env=self.env, **streams)
            os.close(secondary)
            secondary = -1
            output = b""
            while True:
                try:
                    chunk = os.read(main, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                output += chunk
            proc.wait(timeout=60)
            return proc.returncode, output.replace(b"\r\n", b"\n")
        finally:
            os.close(main)
            if secondary >= 0:
                os.close(secondary)

    def test_colour_only_on_a_terminal(self):
        self.assertEqual(self.run_on_terminal(["new", "shiny"], "stdout"),
                         (0, b"\x1b[1;32mCreated\x1b[0m binary (application) `shiny` package\n"))
        self.assertEqual(self.run_on_terminal(["nope"], "stderr"),
                         (2, b"\x1b[1;31merror\x1b[0m: Unknown command 'nope'. Run 'vek help' for usage.\n"))
        self.assertEqual(self.run_on_terminal(["new", "shiny"], "stderr"),
                         (1, b"error[VEK001]: manifest parse error\n  Directory 'shiny' already exists.\n"))
        # Through pipes: the plain layouts.
        self.assertRun(["new", "plain"], out="Created binary (application) `plain` package\n")
        self.assertRun(["nope"], status=2, out="",
                       err="error: Unknown command 'nope'. Run 'vek help' for usage.\n")

if __name__ == "__main__":
    vektest.main()
