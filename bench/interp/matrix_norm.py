# Spectral norm of the infinite matrix A, n = 100: float arithmetic, calls, arrays.
import math


def fmt(x):
    s = "%g" % x
    return s if "." in s else s + ".0"


def a(i, j):
    ij = i + j
    return 1.0 / ((ij * (ij + 1) // 2 + i + 1) * 1.0)


def multiply_av(n, v, av):
    for i in range(n):
        total = 0.0
        for j in range(n):
            total += a(i, j) * v[j]
        av[i] = total


def multiply_atv(n, v, atv):
    for i in range(n):
        total = 0.0
        for j in range(n):
            total += a(j, i) * v[j]
        atv[i] = total


def multiply_atav(n, v, out, tmp):
    multiply_av(n, v, tmp)
    multiply_atv(n, tmp, out)


def main():
    n = 100
    u = []
    v = []
    tmp = []
    for i in range(n):
        u.append(1.0)
        v.append(0.0)
        tmp.append(0.0)
    for k in range(10):
        multiply_atav(n, u, v, tmp)
        multiply_atav(n, v, u, tmp)
    vbv = 0.0
    vv = 0.0
    for i in range(n):
        vbv += u[i] * v[i]
        vv += v[i] * v[i]
    print(fmt(math.sqrt(vbv / vv)))


main()
