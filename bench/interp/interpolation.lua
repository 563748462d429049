-- String building with interpolation: formatted lines joined into growing text.
local function main()
    local total = 0
    local lines = {}
    for i = 0, 299999 do
        local name = "user" .. i
        local line = name .. ": " .. (i * 2) .. " items, " .. (i % 7) .. " left"
        total = total + #line
        lines[#lines + 1] = line
    end
    local text = ""
    local flushed = 0
    for i = 1, #lines do
        text = text .. lines[i] .. "\n"
        if #text > 200 then
            flushed = flushed + #text
            text = ""
        end
    end
    print(total .. " " .. (flushed + #text) .. " " .. #lines)
end
main()
