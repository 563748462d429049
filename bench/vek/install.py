#!/usr/bin/env python3
"""Benchmarks of vek install and the resolver:
 1. "vek install" of a project with 50 dependencies from a registry on
    127.0.0.1 (the test suite's registry double), with a cold cache and with a
    warm one, against unzip of the same 50 archives as a floor for the
    unpacking;
 2. the resolver alone on a generated graph of 1,000 packages x 20 versions.
Usage: bench/vek/install.py [BUILD_DIR]   (default: build; needs BUILD_DIR/vek)
Each figure is the fastest of five runs."""
import io
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = (ROOT / (sys.argv[1] if len(sys.argv) > 1 else "build")).resolve()
VEK = BUILD / "vek"
sys.path.insert(0, str(ROOT / "tests/vek/cli"))
import registry_double  # noqa: E402

COUNT = 50
RUNS = 5


def timed(args, cwd, env):
    start = time.perf_counter()
    subprocess.run(args, cwd=cwd, env=env, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    if not VEK.exists():
        sys.exit(f"build {VEK} first")
    work = pathlib.Path(tempfile.mkdtemp(prefix="vek-bench-"))
    registry = registry_double.Registry()
    try:
        archives = {f"pkg{i:02d}": None for i in range(COUNT)}
        for name in archives:
            data = io.BytesIO()
            with zipfile.ZipFile(data, "w", zipfile.ZIP_STORED) as z:
                z.writestr("zarn.toml", f'[package]\nname = "{name}"\nversion = "1.0.0"\n')
                for j in range(20):
                    z.writestr(f"src/file{j}.zarn",
                               f"function f{j}(x: int): int {{ return x + {j} }}\n" * 50)
            archives[name] = data.getvalue()
            registry.add(name, "1.0.0", archives[name])
        manifest = '[package]\nname = "app"\n\n[dependencies]\n' + "".join(
            f'{name} = "^1.0"\n' for name in archives)

        def fresh_project(tag):
            project = work / f"app-{tag}"
            shutil.rmtree(project, ignore_errors=True)
            (project / "src").mkdir(parents=True)
            (project / "zarn.toml").write_text(manifest)
            return project

        cold, warm = [], []
        for run in range(RUNS):
            env = dict(os.environ, ZARN_HOME=str(work / f"home{run}"), VEK_REGISTRY=registry.url)
            cold.append(timed([VEK, "install"], fresh_project("cold"), env))
            warm.append(timed([VEK, "install"], fresh_project("warm"), env))
        floor = []
        for run in range(RUNS):
            target = work / "unzipped"
            shutil.rmtree(target, ignore_errors=True)
            target.mkdir()
            start = time.perf_counter()
            for name, data in archives.items():
                path = work / f"{name}.vek"
                path.write_bytes(data)
                subprocess.run(["unzip", "-q", "-o", str(path), "-d", str(target / name)], check=True)
            floor.append(time.perf_counter() - start)
        print(f"== vek install, {COUNT} dependencies of 20 files each")
        print(f"cold cache:  {min(cold):6.3f} s")
        print(f"warm cache:  {min(warm):6.3f} s")
        print(f"unzip x{COUNT}:   {min(floor):6.3f} s")
        print(f"ratio (warm install / unzip): {min(warm) / min(floor):.2f}")

        print("== resolver, 1,000 packages x 20 versions")
        tool = work / "resolve_graph"
        sources = ["vek/resolve/Resolver.cpp", "vek/resolve/Lockfile.cpp", "vek/versions/Version.cpp",
                   "vek/manifest/Manifest.cpp", "vek/manifest/Toml.cpp", "vek/base/Json.cpp",
                   "vek/base/AtomicFile.cpp", "vek/base/SystemPosix.cpp"]
        subprocess.run(["g++", "-O2", "-std=c++20", f"-I{ROOT}", str(ROOT / "bench/vek/resolve_graph.cpp"),
                        *[str(ROOT / s) for s in sources], "-o", str(tool)], check=True)
        print(subprocess.run([tool], capture_output=True, text=True, check=True).stdout, end="")
    finally:
        registry.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
