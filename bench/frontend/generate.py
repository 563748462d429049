#!/usr/bin/env python3
"""Writes a Zarn source and a Python source of about the same size, built from
the same kinds of code (classes, functions, loops, conditions, calls, string
and number literals, comments), for the front-end throughput benchmark."""
import argparse
import os


def zarn_unit(i):
    return f"""! Unit {i}: a small shape class and the functions around it.
class Shape{i} {{
    let width: float = {i % 97}.5
    let height: float = {i % 89}.25
    let name: string = "shape number {i}"
    let tags: List<string> = ["a", "b", "c"]

    function area(): float {{
        return width * height
    }}

    function scaled(factor: float): float {{
        let result: float = width * height * factor
        if result > 1000.0 && factor != 0.0 {{
            result = result / factor
        }} else if result < 0.0 {{
            result = -result
        }} else {{
            result += 1.0
        }}
        return result
    }}
}}

function process{i}(values: int[], limit: int): int {{
    let total: int = 0
    for (let k: int = 0; k < limit; k++) {{
        total = total + values[k % 10] * (k + {i % 13}) - (total / 7)
    }}
    foreach value: values {{
        switch (value % 3) {{
            case 0:
                total += value
                break
            case 1:
                total -= value * 2
            default:
                total = max<int>(total, value)
        }}
    }}
    let shape: Shape{i} = new Shape{i}()
    let labels: string[] = ["x{i}", "y{i}", "z{i}"]
    while (total > {1000 + i} && not isDone(total)) {{
        total = total / 2
    }}
    // Report the result.
    println("unit {i}:", total, shape.name)
    return total + sizeof(labels)
}}

"""


def python_unit(i):
    return f"""# Unit {i}: a small shape class and the functions around it.
class Shape{i}:
    width: float = {i % 97}.5
    height: float = {i % 89}.25
    name: str = "shape number {i}"
    tags: list = ["a", "b", "c"]

    def area(self) -> float:
        return self.width * self.height

    def scaled(self, factor: float) -> float:
        result: float = self.width * self.height * factor
        if result > 1000.0 and factor != 0.0:
            result = result / factor
        elif result < 0.0:
            result = -result
        else:
            result += 1.0
        return result


def process{i}(values: list, limit: int) -> int:
    total: int = 0
    for k in range(0, limit):
        total = total + values[k % 10] * (k + {i % 13}) - (total // 7)
    for value in values:
        rest = value % 3
        if rest == 0:
            total += value
        elif rest == 1:
            total -= value * 2
        else:
            total = max(total, value)
    shape: Shape{i} = Shape{i}()
    labels: list = ["x{i}", "y{i}", "z{i}"]
    while total > {1000 + i} and not isDone(total):
        total = total // 2
    # Report the result.
    print("unit {i}:", total, shape.name)
    return total + len(labels)


"""


ZARN_PRELUDE = """function isDone(value: int): Boolean {
    return value % 7 == 0
}

"""

PYTHON_PRELUDE = """def isDone(value: int) -> bool:
    return value % 7 == 0


"""


def write(path, prelude, unit, size):
    written = len(prelude)
    i = 0
    with open(path, "w", encoding="utf-8") as out:
        out.write(prelude)
        while written < size:
            text = unit(i)
            out.write(text)
            written += len(text.encode("utf-8"))
            i += 1
    return written


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--out", required=True, help="directory for big.zarn and big.py")
    parser.add_argument("--megabytes", type=float, default=8.0)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    size = int(args.megabytes * 1024 * 1024)
    write(os.path.join(args.out, "big.zarn"), ZARN_PRELUDE, zarn_unit, size)
    write(os.path.join(args.out, "big.py"), PYTHON_PRELUDE, python_unit, size)


if __name__ == "__main__":
    main()
