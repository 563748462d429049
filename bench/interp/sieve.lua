-- Sieve of Eratosthenes over a large array: indexed reads and writes in tight loops.
local function sieve(n)
    local flags = {}
    for i = 0, n do
        flags[i] = true
    end
    local count = 0
    for i = 2, n do
        if flags[i] then
            count = count + 1
            for j = i * i, n, i do
                flags[j] = false
            end
        end
    end
    return count
end

local function main()
    local total = 0
    for _ = 1, 3 do
        total = total + sieve(1000000)
    end
    print(total)
end
main()
