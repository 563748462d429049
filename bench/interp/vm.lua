-- A tiny stack machine: a dispatch loop over opcodes held in arrays.
-- Opcodes: 0 halt, 1 push k, 2 load r, 3 store r, 4 add, 5 sub, 6 dup, 7 jump-if-not-zero t.
-- Arrays are indexed from 0, as in the other two languages.
local function run(code)
    local stack = {}
    for i = 0, 15 do
        stack[i] = 0
    end
    local regs = { [0] = 0, 0, 0, 0 }
    local sp = 0
    local pc = 0
    local steps = 0
    local running = true
    while running do
        local op = code[pc]
        steps = steps + 1
        if op == 0 then
            running = false
        elseif op == 1 then
            stack[sp] = code[pc + 1]
            sp = sp + 1
            pc = pc + 2
        elseif op == 2 then
            stack[sp] = regs[code[pc + 1]]
            sp = sp + 1
            pc = pc + 2
        elseif op == 3 then
            sp = sp - 1
            regs[code[pc + 1]] = stack[sp]
            pc = pc + 2
        elseif op == 4 then
            sp = sp - 1
            stack[sp - 1] = stack[sp - 1] + stack[sp]
            pc = pc + 1
        elseif op == 5 then
            sp = sp - 1
            stack[sp - 1] = stack[sp - 1] - stack[sp]
            pc = pc + 1
        elseif op == 6 then
            stack[sp] = stack[sp - 1]
            sp = sp + 1
            pc = pc + 1
        elseif op == 7 then
            sp = sp - 1
            if stack[sp] ~= 0 then
                pc = code[pc + 1]
            else
                pc = pc + 2
            end
        end
    end
    return regs[0] * 1000 + steps % 1000
end

local function main()
    -- acc = 0; i = n; do { acc += i; i -= 1 } while (i != 0)
    local list = { 1, 0, 3, 0, 1, 400000, 3, 1, 2, 0, 2, 1, 4, 3, 0, 2, 1, 1, 1, 5, 6, 3, 1, 7, 8, 0 }
    local code = {}
    for i = 1, #list do
        code[i - 1] = list[i]
    end
    print(run(code))
end
main()
