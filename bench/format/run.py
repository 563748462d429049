#!/usr/bin/env python3
"""Formatter throughput: `zarn format --check` on the front end's generated
benchmark source, and on a formatted copy of it, against `zarn check` on the
same file, all measured in this run (least CPU time of five runs each, so
that other load on the machine does not skew the ratio). The formatter lexes
and parses the text, lays it out, then lexes and parses the result again to
make sure it means the same.

    python3 bench/format/run.py [MEGABYTES]   (ZARN=path/to/zarn picks the program)
"""
import os
import resource
import shutil
import subprocess
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
ZARN = os.environ.get("ZARN", os.path.join(ROOT, "build", "zarn"))
OUT = os.path.join(ROOT, "bench", "out", "format")


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def least_cpu(args, statuses):
    samples = []
    for _ in range(5):
        start = children_cpu()
        done = subprocess.run([ZARN] + args, capture_output=True)
        samples.append(children_cpu() - start)
        if done.returncode not in statuses:
            sys.exit(f"zarn {' '.join(args)}: status {done.returncode}\n{done.stdout[:2000]!r}")
    return min(samples)


def main():
    megabytes = sys.argv[1] if len(sys.argv) > 1 else "8"
    if not os.access(ZARN, os.X_OK):
        sys.exit(f"no zarn program at {ZARN}; build it first (cmake --build build)")
    subprocess.run([sys.executable, os.path.join(ROOT, "bench", "frontend", "generate.py"),
                    "--out", OUT, "--megabytes", megabytes], check=True)
    source = os.path.join(OUT, "big.zarn")
    tidy = os.path.join(OUT, "big_tidy.zarn")
    shutil.copyfile(source, tidy)
    subprocess.run([ZARN, "format", tidy], stdout=subprocess.DEVNULL, check=True)

    size = os.path.getsize(source) / 1e6
    rates = {
        "zarn format --check, as generated": size / least_cpu(["format", "--check", source], (0, 1)),
        "zarn format --check, formatted": size / least_cpu(["format", "--check", tidy], (0,)),
        "zarn check": size / least_cpu(["check", source], (0,)),
    }
    for name, rate in rates.items():
        print(f"{name:36} {size:.1f} MB at {rate:.1f} MB/s of CPU time")
    ratio = rates["zarn format --check, as generated"] / rates["zarn check"]
    print(f"ratio, format / check: {ratio:.2f}x")


if __name__ == "__main__":
    main()
