-- Closures created and called in a loop.
local function makeAdder(base)
    return function(x)
        return base + x
    end
end

local function main()
    local total = 0
    local counter = 0
    local bump = function(by)
        counter = counter + by
    end
    for i = 0, 999999 do
        local add = makeAdder(i % 100)
        total = total + add(i)
        bump(2)
    end
    print(total .. " " .. counter)
end
main()
