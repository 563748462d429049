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


def best(command, expected_status=0):
    """Least CPU time (user + system) of the command over several runs. CPU
    time, not wall time, so that other load on the machine does not skew the
    comparison."""
    times = []
    for _ in range(runs):
        before = cpu_seconds()
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        times.append(cpu_seconds() - before)
        if result.returncode != expected_status:
            sys.exit(f"{' '.join(command)} exited with {result.returncode}:\n"
                     f"{result.stdout.decode()[:2000]}{result.stderr.decode()[:2000]}")
    return min(times)


zarn_file = os.path.join(out, "big.zarn")
python_file = os.path.join(out, "big.py")
# The same source with a syntax error on its last line: the pipeline stops
# after the parser, so its time is the lexer's and the parser's alone.
parse_only_file = os.path.join(out, "big_parse_only.zarn")
with open(zarn_file, "rb") as source, open(parse_only_file, "wb") as target:
    target.write(source.read() + b"let end_of_benchmark = 1\n")

zarn_mb = os.path.getsize(zarn_file) / 1e6
python_mb = os.path.getsize(python_file) / 1e6
parse_rate = zarn_mb / best([zarn, "check", parse_only_file], expected_status=1)
check_rate = zarn_mb / best([zarn, "check", zarn_file])
# Largest resident size of any zarn run so far (KiB on Linux): the full
# check's, which holds the whole tree and the checker's tables.
zarn_peak_mb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024 / 1e6
python_rate = python_mb / best([sys.executable, "-m", "py_compile", python_file])
print(f"zarn check, lex + parse:          {zarn_mb:.1f} MB at {parse_rate:.1f} MB/s of CPU time")
print(f"zarn check, lex + parse + types:  {zarn_mb:.1f} MB at {check_rate:.1f} MB/s of CPU time")
print(f"zarn check, peak memory:          {zarn_peak_mb:.1f} MB, {zarn_peak_mb / zarn_mb:.1f}x the source")
print(f"python3 -m py_compile:            {python_mb:.1f} MB at {python_rate:.1f} MB/s of CPU time")
print(f"ratio, lex + parse:         {parse_rate / python_rate:.1f}x")
print(f"ratio, lex + parse + types: {check_rate / python_rate:.1f}x")
PY
