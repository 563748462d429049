# Integer loops: nested counting with arithmetic and comparisons.
def main():
    total = 0
    i = 0
    while i < 3000:
        j = 0
        while j < 1000:
            if (i + j) % 7 == 3:
                total += i * j % 11
            else:
                total -= 1
            j += 1
        i += 1
    print(total)

main()
