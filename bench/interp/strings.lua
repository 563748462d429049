-- String building and methods: concatenation, interpolation, split, replace, case, search.
local function split(s, sep)
    local parts = {}
    local start = 1
    while true do
        local found = string.find(s, sep, start, true)
        if not found then
            parts[#parts + 1] = string.sub(s, start)
            return parts
        end
        parts[#parts + 1] = string.sub(s, start, found - 1)
        start = found + #sep
    end
end

local function main()
    local total = 0
    local hits = 0
    local line = ""
    for i = 0, 499999 do
        local word = "item" .. i
        local upper = string.upper(word)
        if string.find(upper, "77", 1, true) then
            hits = hits + 1
        end
        local record = word .. "," .. (i * 3) .. ",tail"
        local parts = split(record, ",")
        total = total + #parts + #parts[2]
        local replaced = string.gsub(word, "item", "x")
        total = total + #replaced
        if string.sub(word, 1, 5) == "item9" and string.sub(word, -1) == "9" then
            hits = hits + 1
        end
        line = line .. string.sub(word, 1, 1)
        if #line > 60 then
            total = total + #(string.match(line, "^%s*(.-)%s*$"))
            line = ""
        end
    end
    print(total .. " " .. hits)
end
main()
