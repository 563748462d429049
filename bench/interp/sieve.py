# Sieve of Eratosthenes over a large array: indexed reads and writes in tight loops.
def sieve(n):
    flags = []
    for i in range(n + 1):
        flags.append(True)
    count = 0
    for i in range(2, n + 1):
        if flags[i]:
            count += 1
            for j in range(i * i, n + 1, i):
                flags[j] = False
    return count


def main():
    total = 0
    for _ in range(3):
        total += sieve(1000000)
    print(total)


main()
