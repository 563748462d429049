# A tiny stack machine: a dispatch loop over opcodes held in arrays.
# Opcodes: 0 halt, 1 push k, 2 load r, 3 store r, 4 add, 5 sub, 6 dup, 7 jump-if-not-zero t.
def run(code):
    stack = []
    for i in range(16):
        stack.append(0)
    regs = [0, 0, 0, 0]
    sp = 0
    pc = 0
    steps = 0
    running = True
    while running:
        op = code[pc]
        steps += 1
        if op == 0:
            running = False
        elif op == 1:
            stack[sp] = code[pc + 1]
            sp += 1
            pc += 2
        elif op == 2:
            stack[sp] = regs[code[pc + 1]]
            sp += 1
            pc += 2
        elif op == 3:
            sp -= 1
            regs[code[pc + 1]] = stack[sp]
            pc += 2
        elif op == 4:
            sp -= 1
            stack[sp - 1] = stack[sp - 1] + stack[sp]
            pc += 1
        elif op == 5:
            sp -= 1
            stack[sp - 1] = stack[sp - 1] - stack[sp]
            pc += 1
        elif op == 6:
            stack[sp] = stack[sp - 1]
            sp += 1
            pc += 1
        elif op == 7:
            sp -= 1
            if stack[sp] != 0:
                pc = code[pc + 1]
            else:
                pc += 2
    return regs[0] * 1000 + steps % 1000


def main():
    # acc = 0; i = n; do { acc += i; i -= 1 } while (i != 0)
    code = [1, 0, 3, 0, 1, 400000, 3, 1, 2, 0, 2, 1, 4, 3, 0, 2, 1, 1, 1, 5, 6, 3, 1, 7, 8, 0]
    print(run(code))


main()
