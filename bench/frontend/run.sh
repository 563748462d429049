#!/usr/bin/env bash
# Front-end throughput: `zarn check` (lex + parse) on a generated Zarn source
# against `python3 -m py_compile` on a Python source of the same size, both
# measured in this run (least CPU time of several runs each).
#   bench/frontend/run.sh [MEGABYTES]      (ZARN=path/to/zarn to pick the program)
set -euo pipefail
cd "$(dirname "$0")/../.."

megabytes="${1:-8}"
zarn="${ZARN:-build/zarn}"
out="bench/out/frontend"
if [ ! -x "$zarn" ]; then
  echo "no zarn program at $zarn; build it first (cmake --build build)" >&2
  exit 1
fi
python3 bench/frontend/generate.py --out "$out" --megabytes "$megabytes"

python3 - "$zarn" "$out" <<'PY'
import os
import resource
import subprocess
import sys

zarn, out = sys.argv[1], sys.argv[2]
runs = 5


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def best(command):
    """Least CPU time (user + system) of the command over several runs. CPU
    time, not wall time, so that other load on the machine does not skew the
    comparison."""
    times = []
    for _ in range(runs):
        before = cpu_seconds()
        result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        times.append(cpu_seconds() - before)
        if result.returncode != 0:
            sys.exit(f"{' '.join(command)} failed:\n{result.stderr.decode()}")
    return min(times)


zarn_file = os.path.join(out, "big.zarn")
python_file = os.path.join(out, "big.py")
zarn_mb = os.path.getsize(zarn_file) / 1e6
python_mb = os.path.getsize(python_file) / 1e6
zarn_rate = zarn_mb / best([zarn, "check", zarn_file])
python_rate = python_mb / best([sys.executable, "-m", "py_compile", python_file])
print(f"zarn check (lex + parse): {zarn_mb:.1f} MB at {zarn_rate:.1f} MB/s of CPU time")
print(f"python3 -m py_compile:    {python_mb:.1f} MB at {python_rate:.1f} MB/s of CPU time")
print(f"ratio: {zarn_rate / python_rate:.1f}x")
PY
