#!/usr/bin/env bash
# Formatter throughput: `zarn format --check` on a generated Zarn source (the
# front end's benchmark input) against `zarn check` on the same file, both
# measured in this run (least CPU time of several runs each). The formatter
# lexes and parses the text, lays it out, and lexes and parses the result
# again to make sure it means the same.
#   bench/format/run.sh [MEGABYTES]      (ZARN=path/to/zarn to pick the program)
set -euo pipefail
cd "$(dirname "$0")/../.."

megabytes="${1:-8}"
zarn="${ZARN:-build/zarn}"
out="bench/out/format"
if [ ! -x "$zarn" ]; then
  echo "no zarn program at $zarn; build it first (cmake --build build)" >&2
  exit 1
fi
python3 bench/frontend/generate.py --out "$out" --megabytes "$megabytes"

python3 - "$zarn" "$out" <<'PY'
import os
import resource
import shutil
import subprocess
import sys

zarn, out = sys.argv[1], sys.argv[2]
runs = 5


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def best(command, expected_statuses):
    times = []
    for _ in range(runs):
        before = cpu_seconds()
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        times.append(cpu_seconds() - before)
        if result.returncode not in expected_statuses:
            sys.exit(f"{' '.join(command)} exited with {result.returncode}:\n"
                     f"{result.stdout.decode()[:2000]}{result.stderr.decode()[:2000]}")
    return min(times)


source = os.path.join(out, "big.zarn")
# A formatted copy, so that --check finds nothing to change.
tidy = os.path.join(out, "big_tidy.zarn")
shutil.copyfile(source, tidy)
subprocess.run([zarn, "format", tidy], stdout=subprocess.DEVNULL, check=True)

mb = os.path.getsize(source) / 1e6
format_rate = mb / best([zarn, "format", "--check", source], (0, 1))
tidy_rate = os.path.getsize(tidy) / 1e6 / best([zarn, "format", "--check", tidy], (0,))
check_rate = mb / best([zarn, "check", source], (0,))
print(f"zarn format --check, as generated: {mb:.1f} MB at {format_rate:.1f} MB/s of CPU time")
print(f"zarn format --check, formatted:    {os.path.getsize(tidy) / 1e6:.1f} MB at {tidy_rate:.1f} MB/s of CPU time")
print(f"zarn check:                        {mb:.1f} MB at {check_rate:.1f} MB/s of CPU time")
print(f"ratio, format / check:      {format_rate / check_rate:.2f}x")
PY
