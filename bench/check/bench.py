#!/usr/bin/env python3
"""Throughput of `zarn check` (lex + parse + type check) on a generated program,
next to `python3 -m py_compile` on a Python program of the same shape, timed in
the same run on the same machine.

    python3 bench/check/bench.py [--zarn build/zarn] [--mb 8] [--runs 3]

Prints the sizes, the best time of each tool, MB/s and the ratio of the times.
"""
import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time

ZARN_CHUNK = """class Point{i} {{
    let x: int = 0
    let y: int = 0

    function move(dx: int, dy: int): void {{
        x = x + dx
        y = y + dy
    }}
}}

function compute{i}(n: int, label: string): int {{
    let total: int = 0
    let values: int[] = [1, 2, 3, n]
    for (let k: int = 0; k < n; k++) {{
        if (k % 2 == 0 && total < 1000) {{
            total += k * 3 - values[0]
        }} else {{
            total = total - 1
        }}
    }}
    foreach v : values {{
        total = total + v
    }}
    let p: Point{i} = new Point{i}()
    p.move(total, n)
    let text: string = label + " done " + total
    let parts: string[] = text.split(" ")
    while (total > 10) {{
        total = total / 2
    }}
    let scale: float = math.sqrt(2.0) * 1.5
    return total + p.x + parts.size()
}}

"""

PYTHON_CHUNK = """class Point{i}:
    def __init__(self):
        self.x = 0
        self.y = 0

    def move(self, dx: int, dy: int) -> None:
        self.x = self.x + dx
        self.y = self.y + dy


def compute{i}(n: int, label: str) -> int:
    total: int = 0
    values: list = [1, 2, 3, n]
    for k in range(n):
        if k % 2 == 0 and total < 1000:
            total += k * 3 - values[0]
        else:
            total = total - 1
    for v in values:
        total = total + v
    p: Point{i} = Point{i}()
    p.move(total, n)
    text: str = label + " done " + str(total)
    parts: list = text.split(" ")
    while total > 10:
        total = total // 2
    scale: float = math.sqrt(2.0) * 1.5
    return total + p.x + len(parts)


"""


def generate(chunk, header, footer, target_bytes):
    pieces = [header]
    size = len(header)
    i = 0
    while size < target_bytes:
        piece = chunk.format(i=i)
        pieces.append(piece)
        size += len(piece)
        i += 1
    pieces.append(footer)
    return "".join(pieces), i


def cpu_of_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def best_time(command, runs, cwd):
    """The best wall-clock time and the best CPU time (user + system) of the runs:
    on a busy machine the CPU time is the steadier figure."""
    best_wall = best_cpu = None
    for _ in range(runs):
        cpu_before = cpu_of_children()
        start = time.perf_counter()
        result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        wall = time.perf_counter() - start
        cpu = cpu_of_children() - cpu_before
        if result.returncode != 0:
            sys.exit("failed: %s\n%s%s" % (" ".join(command), result.stdout.decode()[:2000],
                                           result.stderr.decode()[:2000]))
        best_wall = wall if best_wall is None else min(best_wall, wall)
        best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
    return best_wall, best_cpu


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser()
    parser.add_argument("--zarn", default=os.path.join(root, "build", "zarn"))
    parser.add_argument("--mb", type=float, default=8.0)
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()

    target = int(options.mb * 1024 * 1024)
    zarn_source, count = generate(ZARN_CHUNK, "", "function main(): void {\n    println(compute0(10, \"a\"))\n}\n", target)
    python_source, _ = generate(PYTHON_CHUNK, "import math\n\n\n", "print(compute0(10, \"a\"))\n", target)

    with tempfile.TemporaryDirectory(prefix="zarn-bench-") as work:
        zarn_file = os.path.join(work, "bench.zarn")
        python_file = os.path.join(work, "bench.py")
        with open(zarn_file, "w") as out:
            out.write(zarn_source)
        with open(python_file, "w") as out:
            out.write(python_source)
        zarn_time = best_time([options.zarn, "check", "bench.zarn"], options.runs, work)
        python_time = best_time([sys.executable, "-m", "py_compile", "bench.py"], options.runs, work)

    mb_zarn = len(zarn_source) / (1024 * 1024)
    mb_python = len(python_source) / (1024 * 1024)
    print("generated: %d classes and %d functions" % (count, count + 1))
    # index 0: wall-clock time, index 1: CPU time of the child process
    for index, label in ((0, "wall"), (1, "cpu")):
        zarn_s, python_s = zarn_time[index], python_time[index]
        print("%-4s zarn check:        %6.2f MB in %.3f s = %6.2f MB/s" % (label, mb_zarn, zarn_s, mb_zarn / zarn_s))
        print("%-4s python py_compile: %6.2f MB in %.3f s = %6.2f MB/s" % (label, mb_python, python_s, mb_python / python_s))
        print("%-4s time ratio zarn/python: %.2f (throughput ratio %.2f)" %
              (label, zarn_s / python_s, (mb_zarn / zarn_s) / (mb_python / python_s)))

if __name__ == "__main__":
    main()
