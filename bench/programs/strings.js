// String building by concatenation and by join.
function build(n) {
    var s = "", i;
    for (i = 0; i < n; i++) s = s + "item" + (i % 10) + ",";
    return s.length;
}
function joined(n) {
    var parts = [], i;
    for (i = 0; i < n; i++) parts[i] = "item" + (i % 10);
    return parts.join(",").length;
}
var i, total = 0;
for (i = 0; i < 20; i++) total = total + build(2000);
print(total);
total = 0;
for (i = 0; i < 20; i++) total = total + joined(20000);
print(total);
