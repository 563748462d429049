-- Spectral norm of the infinite matrix A, n = 100: float arithmetic, calls, arrays.
local function fmt(x)
    local s = string.format("%g", x)
    if not s:find(".", 1, true) then s = s .. ".0" end
    return s
end

local function a(i, j)
    local ij = i + j
    return 1.0 / ((ij * (ij + 1) // 2 + i + 1) * 1.0)
end

local function multiplyAv(n, v, av)
    for i = 0, n - 1 do
        local sum = 0.0
        for j = 0, n - 1 do
            sum = sum + a(i, j) * v[j + 1]
        end
        av[i + 1] = sum
    end
end

local function multiplyAtv(n, v, atv)
    for i = 0, n - 1 do
        local sum = 0.0
        for j = 0, n - 1 do
            sum = sum + a(j, i) * v[j + 1]
        end
        atv[i + 1] = sum
    end
end

local function multiplyAtAv(n, v, out, tmp)
    multiplyAv(n, v, tmp)
    multiplyAtv(n, tmp, out)
end

local function main()
    local n = 100
    local u, v, tmp = {}, {}, {}
    for i = 1, n do
        u[i] = 1.0
        v[i] = 0.0
        tmp[i] = 0.0
    end
    for _ = 1, 10 do
        multiplyAtAv(n, u, v, tmp)
        multiplyAtAv(n, v, u, tmp)
    end
    local vBv, vv = 0.0, 0.0
    for i = 1, n do
        vBv = vBv + u[i] * v[i]
        vv = vv + v[i] * v[i]
    end
    print(fmt(math.sqrt(vBv / vv)))
end
main()
