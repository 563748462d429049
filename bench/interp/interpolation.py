# String building with interpolation: formatted lines joined into growing text.
def main():
    total = 0
    lines = []
    for i in range(300000):
        name = f"user{i}"
        line = f"{name}: {i * 2} items, {i % 7} left"
        total += len(line)
        lines.append(line)
    text = ""
    flushed = 0
    for i in range(len(lines)):
        text = text + lines[i] + "\n"
        if len(text) > 200:
            flushed += len(text)
            text = ""
    print(total, flushed + len(text), len(lines))


main()
