#!/usr/bin/env python3
"""Benchmarks of vek:
 1. SHA-256 throughput of vek's own implementation against sha256sum on the
    same 256 MiB file;
 2. "vek package" on a generated project of 2,000 source files, against tar
    over the same files as a floor for reading and writing them.
Usage: bench/vek/run.py [BUILD_DIR]   (default: build; needs BUILD_DIR/vek)
Each figure is the fastest of five runs."""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = (ROOT / (sys.argv[1] if len(sys.argv) > 1 else "build")).resolve()
VEK = BUILD / "vek"
RUNS = 5


def best_time(args, cwd=None, env=None):
    best = None
    for _ in range(RUNS):
        start = time.perf_counter()
        subprocess.run(args, cwd=cwd, env=env, check=True, stdout=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def main():
    if not VEK.exists():
        sys.exit(f"build {VEK} first")
    work = pathlib.Path(tempfile.mkdtemp(prefix="vek-bench-"))
    try:
        tool = work / "sha256_file"
        subprocess.run(["g++", "-O2", "-std=c++20", f"-I{ROOT}", str(ROOT / "bench/vek/sha256_file.cpp"),
                        str(ROOT / "vek/archive/Checksum.cpp"), "-o", str(tool)], check=True)

        print("== SHA-256 over 256 MiB")
        blob = work / "blob"
        with open(blob, "wb") as f:
            for _ in range(256):
                f.write(os.urandom(1 << 20))
        ours = subprocess.run([tool, blob], capture_output=True, check=True).stdout.split()[0]
        theirs = subprocess.run(["sha256sum", blob], capture_output=True, check=True).stdout.split()[0]
        if ours != theirs:
            sys.exit(f"digests differ: {ours} vs {theirs}")
        t_ours = best_time([tool, blob])
        t_sum = best_time(["sha256sum", blob])
        print(f"vek sha256:  {t_ours:6.3f} s  {256 / t_ours:7.1f} MiB/s")
        print(f"sha256sum:   {t_sum:6.3f} s  {256 / t_sum:7.1f} MiB/s")
        print(f"ratio (vek time / sha256sum time): {t_ours / t_sum:.2f}")
        blob.unlink()

        print("== vek package, 2,000 source files")
        project = work / "big"
        project.mkdir()
        env = dict(os.environ, ZARN_HOME=str(work / "home"))
        subprocess.run([VEK, "init", "big"], cwd=project, env=env, check=True, stdout=subprocess.DEVNULL)
        total = 0
        for i in range(2000):
            folder = project / "src" / f"module{i % 40:02d}"
            folder.mkdir(parents=True, exist_ok=True)
            text = "".join(f"function f{i}_{j}(x: int): int {{ return x * {j} + {i} }}\n" for j in range(40))
            (folder / f"file{i:04d}.zarn").write_text(text)
            total += len(text)
        files = sum(1 for p in (project / "src").rglob("*") if p.is_file())
        t_pack = best_time([VEK, "package"], cwd=project, env=env)
        t_tar = best_time(["tar", "-cf", str(work / "big.tar"), "zarn.toml", "src"], cwd=project)
        print(f"sources: {files} files, {total / 1048576:.1f} MiB")
        print(f"vek package: {t_pack:6.3f} s  {files / t_pack:7.0f} files/s")
        print(f"tar -cf:     {t_tar:6.3f} s")
        print(f"ratio (vek package time / tar time): {t_pack / t_tar:.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
