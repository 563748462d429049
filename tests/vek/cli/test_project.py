"""Project commands of vek: new, init, list, package, clean, with the files
they write judged by peer tools where there are any."""
import hashlib
import os
import shutil
import subprocess
import tomllib
import zipfile

import vektest

MANIFEST = """[package]
name = "{name}"
version = "0.1.0"
edition = "1"
license = "MIT"
readme = "README.md"

"""

MAIN = """function main(): int {{
    println("Hello from {name}!")
    return 0
}}
"""


def read(path):
    return path.read_bytes().decode()


class NewAndInitTest(vektest.VekTestCase):
    def test_new_writes_the_project_files(self):
        project = self.make_project("hello_world-2")
        self.assertEqual(sorted(p.relative_to(project).as_posix() for p in project.rglob("*")),
                         [".gitignore", "README.md", "src", "src/main.zarn", "zarn.toml"])
        self.assertEqual(read(project / "zarn.toml"), MANIFEST.format(name="hello_world-2"))
        self.assertEqual(read(project / "src" / "main.zarn"), MAIN.format(name="hello_world-2"))
        self.assertEqual(read(project / ".gitignore"), "packages/\n*.vek\nbuild/\ntarget/\n")
        self.assertEqual(read(project / "README.md"),
                         "# hello_world-2\n\nA new Zarn programming language project.\n")
        with open(project / "zarn.toml", "rb") as f:
            self.assertEqual(tomllib.load(f)["package"]["name"], "hello_world-2")

    def test_new_errors(self):
        self.assertRun(["new"], status=2, out="",
                       err="error[VEK002]: invalid package name\n"
                           "  Missing project name. Usage: vek new <project-name>\n")
        cases = {
            "Json": "package name should be lowercase",
            "vek": "package name 'vek' is a reserved identifier",
            "my.pkg": "package name may only contain alphanumeric characters, hyphens, and underscores",
            "9lives": "package name must start with an ASCII letter",
            "a" * 65: "package name exceeds maximum length of 64 characters",
            "../escape": "package name must start with an ASCII letter",
        }
        for name, reason in cases.items():
            self.assertRun(["new", name], status=6, out="",
                           err="error[VEK002]: invalid package name\n"
                               f"  Invalid package name '{name}': {reason}\n")
        self.make_project("taken")
        (self.work / "file").write_text("x")
        for name in ("taken", "file"):
            self.assertRun(["new", name], status=1, out="",
                           err="error[VEK001]: manifest parse error\n"
                               f"  Directory '{name}' already exists.\n")
        os.symlink(self.root / "nowhere", self.work / "dangling")
        self.assertRun(["new", "dangling"], status=1, out="",
                       err="error[VEK001]: manifest parse error\n"
                           "  Directory 'dangling' already exists.\n")
        self.assertRun(["new", "quiet", "--json"], out="")
        self.assertTrue((self.work / "quiet" / "zarn.toml").exists())

    def test_init_names_the_package_after_the_directory(self):
        folder = self.work / "tool-kit"
        folder.mkdir()
        self.assertRun(["init"], cwd=folder,
                       out=f"Initialized Zarn package 'tool-kit' at {folder}\n")
        self.assertEqual(read(folder / "zarn.toml"), MANIFEST.format(name="tool-kit"))
        self.assertEqual(read(folder / "src" / "main.zarn"), MAIN.format(name="tool-kit"))
        self.assertEqual(sorted(p.name for p in folder.rglob("*")), ["main.zarn", "src", "zarn.toml"])
        self.assertRun(["init"], cwd=folder, status=1, out="",
                       err="error[VEK001]: manifest parse error\n"
                           "  Directory already contains a zarn.toml manifest.\n")

    def test_file_system_failures_are_error_blocks(self):
        folder = self.work / "blocked"
        folder.mkdir()
        (folder / "src").write_text("a file where the source directory belongs")
        self.assertRun(["init"], cwd=folder, status=1, out="",
                       err=f"error[VEK000]: error\n  Failed to create directory {folder / 'src'}\n")

    def test_init_reports_a_manifest_it_cannot_write(self):
        # The current directory is removed before vek starts, so nothing can be created in it.
        folder = self.work / "gone"
        folder.mkdir()
        result = subprocess.run(["sh", "-c", 'rmdir "$PWD" && exec "$0" init', vektest.VEK],
                                cwd=folder, env=self.env, capture_output=True, timeout=60)
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (1, b"", b"error[VEK001]: manifest parse error\n  Failed to write zarn.toml.\n"))

    def test_init_falls_back_to_my_project_and_keeps_existing_sources(self):
        folder = self.work / "Not Valid"
        (folder / "src").mkdir(parents=True)
        (folder / "src" / "main.zarn").write_text("mine\n")
        self.assertRun(["init"], cwd=folder,
                       out=f"Initialized Zarn package 'my-project' at {folder}\n")
        self.assertEqual(read(folder / "src" / "main.zarn"), "mine\n")
        other = self.work / "other"
        other.mkdir()
        self.assertRun(["init", "Bad"], cwd=other,
                       out=f"Initialized Zarn package 'my-project' at {other}\n")
        third = self.work / "third"
        third.mkdir()
        self.assertRun(["init", "given"], cwd=third,
                       out=f"Initialized Zarn package 'given' at {third}\n")
        self.assertEqual(read(third / "src" / "main.zarn"), MAIN.format(name="given"))


class ListTest(vektest.VekTestCase):
    def test_list_text_and_json(self):
        project = self.make_project("app")
        with open(project / "zarn.toml", "a") as f:
            f.write('[dependencies]\nzeta = "^1.0"\n"odd\\"name" = ">=1, <2"\n'
                    'a-very-long-dependency-name = "~0.3"\nlocal = { path = "../x" }\n')
        self.assertRun(["list"], cwd=project,
                       out="Dependencies\n\n"
                           'a-very-long-dependency-name~0.3\n'
                           "local                   *\n"
                           'odd"name                >=1, <2\n'
                           "zeta                    ^1.0\n")
        out = self.assertRun(["list", "--json"], cwd=project)
        self.assertEqual(out, '{\n  "dependencies": {\n'
                              '    "a-very-long-dependency-name": "~0.3",\n'
                              '    "local": "*",\n'
                              '    "odd\\"name": ">=1, <2",\n'
                              '    "zeta": "^1.0"\n'
                              "  }\n}\n")
        import json
        self.assertEqual(json.loads(out)["dependencies"]["odd\"name"], ">=1, <2")

    def test_list_without_dependencies(self):
        project = self.make_project("bare")
        self.assertRun(["list"], cwd=project, out="Dependencies\n\n")
        self.assertRun(["list", "--json"], cwd=project, out='{\n  "dependencies": {\n\n  }\n}\n')

    def test_manifest_errors(self):
        self.assertRun(["list"], status=1, out="",
                       err="error[VEK001]: manifest parse error\n"
                           "  Failed to read zarn.toml: Could not open manifest file: "
                           f"{self.work / 'zarn.toml'}\n")
        (self.work / "zarn.toml").write_text("[package]\nname = \"x\"\nflag = True\n")
        self.assertRun(["list"], status=1, out="",
                       err="error[VEK001]: manifest parse error\n"
                           "  Failed to read zarn.toml: Line 3: Failed to parse value for key "
                           "'flag': True\n")


class PackageTest(vektest.VekTestCase):
    def package(self, project):
        return self.assertRun(["package"], cwd=project)

    def test_package_output_archive_and_checksum(self):
        project = self.make_project("demo")
        (project / "LICENSE").write_text("MIT\n")
        (project / "src" / "lib").mkdir()
        (project / "src" / "lib" / "util.zarn").write_text("function util(): int { return 1 }\n")
        (project / "src" / "Zed.zarn").write_text("z\n")
        out = self.package(project)
        archive = project / "demo-0.1.0.vek"
        digest = hashlib.sha256(archive.read_bytes()).hexdigest()
        self.assertEqual(out, "Packaging demo 0.1.0...\n"
                              "\nFiles:\n"
                              "  zarn.toml\n  README.md\n  LICENSE\n"
                              "  src/Zed.zarn\n  src/lib/util.zarn\n  src/main.zarn\n"
                              f"\nCreated:\n  {archive}\n"
                              f"\nSHA-256:\n  sha256:{digest}\n")
        sha256sum = shutil.which("sha256sum")
        if sha256sum:
            listed = subprocess.run([sha256sum, str(archive)], capture_output=True, check=True)
            self.assertEqual(listed.stdout.decode().split()[0], digest)
        with zipfile.ZipFile(archive) as z:
            self.assertIsNone(z.testzip())
            self.assertEqual(z.namelist(), ["zarn.toml", "README.md", "LICENSE", "src/Zed.zarn",
                                            "src/lib/util.zarn", "src/main.zarn"])
            for info in z.infolist():
                self.assertEqual(info.compress_type, zipfile.ZIP_STORED)
                self.assertEqual(z.read(info), (project / info.filename).read_bytes())
        unzip = shutil.which("unzip")
        if unzip:
            subprocess.run([unzip, "-tq", str(archive)], check=True, capture_output=True)
        # The same project packs to the same bytes.
        self.assertEqual(self.package(project), out)

    def test_package_errors(self):
        project = self.make_project("empty")
        shutil.rmtree(project / "src")
        self.assertRun(["package"], cwd=project, status=1, out="Packaging empty 0.1.0...\n",
                       err="error[VEK010]: invalid package archive\n"
                           "  Failed to package project: Project contains no source files under src/.\n")
        self.assertRun(["package"], status=1, out="",
                       err="error[VEK001]: manifest parse error\n"
                           "  Failed to read zarn.toml: Could not open manifest file: "
                           f"{self.work / 'zarn.toml'}\n")

    def test_package_version_cannot_name_another_directory(self):
        project = self.make_project("sneaky")
        text = read(project / "zarn.toml").replace('version = "0.1.0"', 'version = "1.0.0-x/../../../y"')
        (project / "zarn.toml").write_text(text)
        self.assertRun(["package"], cwd=project, status=1,
                       out="Packaging sneaky 1.0.0-x/../../../y...\n",
                       err="error[VEK010]: invalid package archive\n"
                           "  Failed to package project: Invalid archive name: "
                           "sneaky-1.0.0-x/../../../y.vek\n")
        self.assertFalse((self.root / "y.vek").exists())


class CleanTest(vektest.VekTestCase):
    def test_clean_removes_packages_only(self):
        project = self.make_project("tidy")
        (project / "packages" / "json").mkdir(parents=True)
        (project / "packages" / "json" / "x.zarn").write_text("x")
        self.assertRun(["clean"], cwd=project, out="Cleaned project packages and build cache.\n")
        self.assertFalse((project / "packages").exists())
        self.assertTrue((project / "src" / "main.zarn").exists())
        self.assertRun(["clean"], cwd=project, out="Cleaned project packages and build cache.\n")

    def test_clean_keeps_what_a_packages_link_points_to(self):
        project = self.make_project("linked")
        keep = self.root / "keep"
        keep.mkdir()
        (keep / "precious").write_text("p")
        os.symlink(keep, project / "packages")
        self.assertRun(["clean"], cwd=project, out="Cleaned project packages and build cache.\n")
        self.assertTrue((keep / "precious").exists())
        self.assertFalse(os.path.lexists(project / "packages"))

    def test_clean_outside_a_project(self):
        (self.work / "packages").mkdir()
        self.assertRun(["clean"], status=1, out="",
                       err="error[VEK012]: build failed\n"
                           f"  No zarn.toml manifest found in {self.work}\n")
        self.assertTrue((self.work / "packages").exists())


if __name__ == "__main__":
    vektest.main()
