-- Binary trees: allocation and collector pressure (max depth 14).
local function bottomUp(depth)
    local node = { left = nil, right = nil }
    if depth > 0 then
        node.left = bottomUp(depth - 1)
        node.right = bottomUp(depth - 1)
    end
    return node
end

local function check(node)
    if node.left == nil then
        return 1
    end
    return 1 + check(node.left) + check(node.right)
end

local function main()
    local maxDepth = 14
    local stretch = maxDepth + 1
    print(string.format("stretch tree of depth %d check: %d", stretch, check(bottomUp(stretch))))
    local longLived = bottomUp(maxDepth)
    local depth = 4
    while depth <= maxDepth do
        local iterations = 1
        local shift = maxDepth - depth + 4
        for _ = 1, shift do
            iterations = iterations * 2
        end
        local sum = 0
        for _ = 1, iterations do
            sum = sum + check(bottomUp(depth))
        end
        print(string.format("%d trees of depth %d check: %d", iterations, depth, sum))
        depth = depth + 2
    end
    print(string.format("long lived tree of depth %d check: %d", maxDepth, check(longLived)))
end
main()
