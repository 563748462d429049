-- Method calls on instances: fields read and written inside methods.
local Counter = {}
Counter.__index = Counter

function Counter.new()
    return setmetatable({ count = 0, step = 1 }, Counter)
end

function Counter:add(amount)
    self.count = self.count + amount * self.step
end

function Counter:get()
    return self.count
end

local function main()
    local a = Counter.new()
    local b = Counter.new()
    b.step = 2
    for i = 0, 1999999 do
        a:add(i % 10)
        b:add(1)
    end
    print(a:get() .. " " .. b:get())
end
main()
