#!/usr/bin/env python3
"""Runs every interpreter benchmark in Zarn, Python 3 and Lua 5.4, checks that
the three print the same output, and prints CPU time (user + system, best of
--runs, the three languages taking turns) and peak memory per language with
the ratios of Zarn to the others.

    bench/interp/run.py [--zarn build/zarn] [--runs 3] [names...]
"""
import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
BENCHMARKS = ["fib", "loops", "matrix_norm", "binary_trees", "strings", "arrays", "methods", "closures",
              "sieve", "nbody", "vm", "interpolation"]


def run(command):
    """Runs a command; returns (stdout, cpu seconds) from the child's own
    resource usage, which counts CPU time in microseconds."""
    with tempfile.TemporaryFile() as errors:
        child = subprocess.Popen(command, cwd=HERE, stdout=subprocess.PIPE, stderr=errors)
        output = child.stdout.read()
        child.stdout.close()
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode != 0:
            errors.seek(0)
            sys.exit(f"{' '.join(command)} failed:\n{errors.read().decode(errors='replace')}")
    return output, usage.ru_utime + usage.ru_stime


def peak_memory(command):
    """Peak resident KiB of one run, measured by /usr/bin/time: a child started
    from this Python process would count the Python process's own memory, and
    /usr/bin/time costs milliseconds of CPU time, so it is used for memory only."""
    report = os.path.join(HERE, ".time-report")
    subprocess.run(["/usr/bin/time", "-o", report, "-f", "%M"] + command, cwd=HERE,
                   capture_output=True, check=True)
    with open(report) as f:
        peak = f.read().split()[-1]
    os.remove(report)
    return int(peak)


def best(commands, runs):
    """Runs the commands in turn, round after round, so that a slow spell of the
    machine falls on all of them alike; for each, its output, least CPU time and
    peak memory."""
    results = [[] for _ in commands]
    for _ in range(runs):
        for command, kept in zip(commands, results):
            kept.append(run(command))
    summary = []
    for command, kept in zip(commands, results):
        if len({r[0] for r in kept}) != 1:
            sys.exit(f"{' '.join(command)} printed different outputs on different runs")
        summary.append((kept[0][0], min(r[1] for r in kept), peak_memory(command)))
    return summary


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
        commands = [[zarn, "run", f"{name}.zarn"], [sys.executable, f"{name}.py"]]
        if lua:
            commands.append([lua, f"{name}.lua"])
        measured = best(commands, args.runs)
        (z_out, z_time, z_mem), (p_out, p_time, p_mem) = measured[0], measured[1]
        if z_out != p_out:
            sys.exit(f"{name}: Zarn and Python outputs differ:\n{z_out!r}\n{p_out!r}")
        l_time, l_mem = float("nan"), 0
        if lua:
            l_out, l_time, l_mem = measured[2]
            if z_out != l_out:
                sys.exit(f"{name}: Zarn and Lua outputs differ:\n{z_out!r}\n{l_out!r}")
        ratio_py = z_time / p_time if p_time else float("nan")
        ratio_lua = z_time / l_time if l_time == l_time and l_time else float("nan")
        worst = max(worst, ratio_py)
        ratios_py.append(ratio_py)
        if ratio_lua == ratio_lua:
            ratios_lua.append(ratio_lua)
        print(f"{name:<14}{z_time:>8.3f}{p_time:>10.3f}{l_time:>8.3f}"
              f"{z_mem / 1024:>9.1f}{p_mem / 1024:>8.1f}{l_mem / 1024:>8.1f}{ratio_py:>7.2f}{ratio_lua:>7.2f}")
    print(f"\nslowest relative to Python: {worst:.2f}x ({sys.version.split()[0]})")
    print(f"geometric mean relative to Python: {geometric_mean(ratios_py):.2f}x")
    if ratios_lua:
        print(f"geometric mean relative to Lua: {geometric_mean(ratios_lua):.2f}x")


if __name__ == "__main__":
    main()
