// Global regular-expression replace over a large text.
var parts = [], i;
for (i = 0; i < 8000; i++) parts[i] = "word" + (i % 100) + " and more";
var text = parts.join("; ");
var replaced = text.replace(/o/g, "0");
var again = replaced.replace(/[0-9]+/g, "#");
var count = 0, j;
for (j = 0; j < again.length; j++) if (again.charAt(j) == "#") count = count + 1;
print(text.length, replaced.length, again.length, count);
