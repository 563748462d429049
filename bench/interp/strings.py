# String building and methods: concatenation, interpolation, split, replace, case, search.
def main():
    total = 0
    hits = 0
    line = ""
    for i in range(500000):
        word = "item" + str(i)
        upper = word.upper()
        if "77" in upper:
            hits += 1
        record = f"{word},{i * 3},tail"
        parts = record.split(",")
        total += len(parts) + len(parts[1])
        replaced = word.replace("item", "x")
        total += len(replaced)
        if word.startswith("item9") and word.endswith("9"):
            hits += 1
        line = line + word[0:1]
        if len(line) > 60:
            total += len(line.strip())
            line = ""
    print(total, hits)


main()
