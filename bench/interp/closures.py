# Closures created and called in a loop.
def make_adder(base):
    def add(x):
        return base + x
    return add


def main():
    total = 0
    counter = 0

    def bump(by):
        nonlocal counter
        counter += by

    for i in range(1000000):
        add = make_adder(i % 100)
        total += add(i)
        bump(2)
    print(total, counter)


main()
