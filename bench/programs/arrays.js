// Arrays: filling, indexed reads and writes, push and pop.
var n = 100000, a = [], i, round, sum = 0;
for (i = 0; i < n; i++) a[i] = i % 1000;
for (round = 0; round < 6; round++) {
    for (i = 0; i < n; i++) sum = sum + a[i];
    for (i = 1; i < n; i++) a[i] = (a[i - 1] + a[i]) % 1000;
}
print(sum, a[n - 1]);
var stack = [];
sum = 0;
for (round = 0; round < 4; round++) {
    for (i = 0; i < 100000; i++) stack.push(i);
    while (stack.length > 0) sum = sum + stack.pop();
}
print(sum, stack.length);
