// Allocation-heavy: building and walking binary trees.
function TreeNode(left, right) { this.left = left; this.right = right; }
function itemCheck(node) {
    if (node.left == null) return 1;
    return 1 + itemCheck(node.left) + itemCheck(node.right);
}
function bottomUpTree(depth) {
    if (depth > 0) return new TreeNode(bottomUpTree(depth - 1), bottomUpTree(depth - 1));
    return new TreeNode(null, null);
}
var maxDepth = 14, minDepth = 4, depth, iterations, check, i;
print(itemCheck(bottomUpTree(maxDepth + 1)));
var longLived = bottomUpTree(maxDepth);
for (depth = minDepth; depth <= maxDepth; depth = depth + 2) {
    iterations = 1 << (maxDepth - depth + minDepth);
    check = 0;
    for (i = 0; i < iterations; i++) check = check + itemCheck(bottomUpTree(depth));
    print(iterations, depth, check);
}
print(itemCheck(longLived));
