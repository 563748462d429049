# Method calls on instances: fields read and written inside methods.
class Counter:
    def __init__(self):
        self.count = 0
        self.step = 1

    def add(self, amount):
        self.count = self.count + amount * self.step

    def get(self):
        return self.count


def main():
    a = Counter()
    b = Counter()
    b.step = 2
    for i in range(2000000):
        a.add(i % 10)
        b.add(1)
    print(a.get(), b.get())


main()
