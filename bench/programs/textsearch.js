// indexOf and split over a large text.
var words = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta"];
var parts = [], i;
for (i = 0; i < 60000; i++) parts[i] = words[(i * 7) % 8];
var text = parts.join(" ");
var hits = 0, pos = text.indexOf("theta", 0);
while (pos >= 0) { hits = hits + 1; pos = text.indexOf("theta", pos + 1); }
print(text.length, hits);
var total = 0, round, pieces;
for (round = 0; round < 10; round++) {
    pieces = text.split(" ");
    total = total + pieces.length;
}
print(total, pieces[59999]);
