-- Arrays: push, indexed reads and writes, pop.
local function main()
    local values = {}
    for i = 0, 1499999 do
        values[#values + 1] = i * 7 % 1000
    end
    local sum = 0
    for _ = 1, 3 do
        local i = 1
        while i <= #values do
            sum = sum + values[i]
            values[i] = values[i] + 1
            i = i + 1
        end
    end
    local popped = 0
    while #values > 0 do
        popped = popped + table.remove(values)
    end
    print(sum .. " " .. popped .. " " .. #values)
end
main()
