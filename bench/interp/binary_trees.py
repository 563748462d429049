# Binary trees: allocation and collector pressure (max depth 14).
class Node:
    def __init__(self):
        self.left = None
        self.right = None


def bottom_up(depth):
    node = Node()
    if depth > 0:
        node.left = bottom_up(depth - 1)
        node.right = bottom_up(depth - 1)
    return node


def check(node):
    if node.left is None:
        return 1
    return 1 + check(node.left) + check(node.right)


def main():
    max_depth = 14
    stretch = max_depth + 1
    print(f"stretch tree of depth {stretch} check: {check(bottom_up(stretch))}")
    long_lived = bottom_up(max_depth)
    depth = 4
    while depth <= max_depth:
        iterations = 1
        shift = max_depth - depth + 4
        for s in range(shift):
            iterations *= 2
        total = 0
        for i in range(iterations):
            total += check(bottom_up(depth))
        print(f"{iterations} trees of depth {depth} check: {total}")
        depth += 2
    print(f"long lived tree of depth {max_depth} check: {check(long_lived)}")


main()
