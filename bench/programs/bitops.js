// Integer loops with bit operations (values stay below 2^31 so every engine agrees).
function mix(rounds) {
    var x = 12345, acc = 0, i;
    for (i = 0; i < rounds; i++) {
        x = (x * 69069 + 1) & 1048575;
        acc = (acc ^ (x << 3)) & 16777215;
        acc = acc + ((x >> 2) & 255) - (i & 7);
        if ((i & 1023) == 0) acc = acc | 1;
    }
    return acc;
}
print(mix(3000000));
