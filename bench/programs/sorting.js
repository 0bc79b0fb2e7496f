// Sorting with and without a comparator.
function byNumber(a, b) { return a - b; }
var data = [], i, x = 7;
for (i = 0; i < 100000; i++) { x = (x * 8121 + 28411) % 134456; data[i] = x; }
var copy = data.slice(0, 100000);
copy.sort(byNumber);
print(copy[0], copy[50000], copy[99999]);
var words = [];
for (i = 0; i < 30000; i++) words[i] = "w" + data[i];
words.sort();
print(words[0], words[15000], words[29999]);
