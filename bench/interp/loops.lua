-- Integer loops: nested counting with arithmetic and comparisons.
local function main()
    local total = 0
    local i = 0
    while i < 3000 do
        local j = 0
        while j < 1000 do
            if (i + j) % 7 == 3 then
                total = total + i * j % 11
            else
                total = total - 1
            end
            j = j + 1
        end
        i = i + 1
    end
    print(total)
end
main()
