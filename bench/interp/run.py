#!/usr/bin/env python3
"""Runs every interpreter benchmark in Zarn, Python 3 and Lua 5.4, checks that
the three print the same output, and prints CPU time (user + system, best of
--runs) and peak memory per language with the ratios of Zarn to the others.

    bench/interp/run.py [--zarn build/zarn] [--runs 3] [names...]
"""
import argparse
import math
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
BENCHMARKS = ["fib", "loops", "matrix_norm", "binary_trees", "strings", "arrays", "methods", "closures",
              "sieve", "nbody", "vm", "interpolation"]


def run(command):
    """Runs a command under /usr/bin/time; returns (stdout, cpu seconds, peak KiB)."""
    report = os.path.join(HERE, ".time-report")
    completed = subprocess.run(["/usr/bin/time", "-o", report, "-f", "%U %S %M"] + command,
                               cwd=HERE, capture_output=True)
    with open(report) as f:
        user, system, peak = f.read().split()[-3:]
    os.remove(report)
    if completed.returncode != 0:
        sys.exit(f"{' '.join(command)} failed:\n{completed.stderr.decode(errors='replace')}")
    return completed.stdout, float(user) + float(system), int(peak)


def best(command, runs):
    results = [run(command) for _ in range(runs)]
    outputs = {r[0] for r in results}
    if len(outputs) != 1:
        sys.exit(f"{' '.join(command)} printed different outputs on different runs")
    return results[0][0], min(r[1] for r in results), max(r[2] for r in results)


def geometric_mean(values):
    return math.exp(sum(math.log(v) for v in values) / len(values)) if values else float("nan")


def ensure_lua():
    if shutil.which("lua5.4"):
        return "lua5.4"
    print("lua5.4 is missing; installing it with apt-get", file=sys.stderr)
    subprocess.run(["apt-get", "install", "-y", "lua5.4"], check=False, stdout=subprocess.DEVNULL)
    return "lua5.4" if shutil.which("lua5.4") else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zarn", default=os.path.join(HERE, "..", "..", "build", "zarn"))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("names", nargs="*", default=BENCHMARKS)
    args = parser.parse_args()
    zarn = os.path.abspath(args.zarn)
    lua = ensure_lua()

    header = f"{'benchmark':<14}{'zarn s':>8}{'python s':>10}{'lua s':>8}{'zarn MB':>9}{'py MB':>8}{'lua MB':>8}{'z/py':>7}{'z/lua':>7}"
    print(header)
    print("-" * len(header))
    worst = 0.0
    ratios_py, ratios_lua = [], []
    for name in args.names:
        z_out, z_time, z_mem = best([zarn, "run", f"{name}.zarn"], args.runs)
        p_out, p_time, p_mem = best([sys.executable, f"{name}.py"], args.runs)
        if z_out != p_out:
            sys.exit(f"{name}: Zarn and Python outputs differ:\n{z_out!r}\n{p_out!r}")
        l_time, l_mem = float("nan"), 0
        if lua:
            l_out, l_time, l_mem = best([lua, f"{name}.lua"], args.runs)
            if z_out != l_out:
                sys.exit(f"{name}: Zarn and Lua outputs differ:\n{z_out!r}\n{l_out!r}")
        ratio_py = z_time / p_time if p_time else float("nan")
        ratio_lua = z_time / l_time if l_time == l_time and l_time else float("nan")
        worst = max(worst, ratio_py)
        ratios_py.append(ratio_py)
        if ratio_lua == ratio_lua:
            ratios_lua.append(ratio_lua)
        print(f"{name:<14}{z_time:>8.2f}{p_time:>10.2f}{l_time:>8.2f}"
              f"{z_mem / 1024:>9.1f}{p_mem / 1024:>8.1f}{l_mem / 1024:>8.1f}{ratio_py:>7.2f}{ratio_lua:>7.2f}")
    print(f"\nslowest relative to Python: {worst:.2f}x ({sys.version.split()[0]})")
    print(f"geometric mean relative to Python: {geometric_mean(ratios_py):.2f}x")
    if ratios_lua:
        print(f"geometric mean relative to Lua: {geometric_mean(ratios_lua):.2f}x")


if __name__ == "__main__":
    main()
