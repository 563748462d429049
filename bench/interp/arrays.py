# Arrays: push, indexed reads and writes, pop.
def main():
    values = []
    for i in range(1500000):
        values.append(i * 7 % 1000)
    total = 0
    for rnd in range(3):
        i = 0
        while i < len(values):
            total += values[i]
            values[i] = values[i] + 1
            i += 1
    popped = 0
    while len(values) > 0:
        popped += values.pop()
    print(total, popped, len(values))


main()
