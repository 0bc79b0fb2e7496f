// Array permutation: pancake flipping over every permutation.
function fannkuch(n) {
    var perm = [], perm1 = [], count = [], i, k, r, maxFlips = 0, checksum = 0, permCount = 0;
    var flips, perm0, j, t;
    for (i = 0; i < n; i++) { perm1[i] = i; perm[i] = 0; count[i] = 0; }
    r = n;
    while (true) {
        while (r != 1) { count[r - 1] = r; r = r - 1; }
        for (i = 0; i < n; i++) perm[i] = perm1[i];
        flips = 0;
        k = perm[0];
        while (k != 0) {
            i = 0; j = k;
            while (i < j) { t = perm[i]; perm[i] = perm[j]; perm[j] = t; i = i + 1; j = j - 1; }
            flips = flips + 1;
            k = perm[0];
        }
        if (flips > maxFlips) maxFlips = flips;
        if ((permCount & 1) == 0) checksum = checksum + flips; else checksum = checksum - flips;
        while (true) {
            if (r == n) { print(checksum); return maxFlips; }
            perm0 = perm1[0];
            for (i = 0; i < r; i++) perm1[i] = perm1[i + 1];
            perm1[r] = perm0;
            count[r] = count[r] - 1;
            if (count[r] > 0) break;
            r = r + 1;
        }
        permCount = permCount + 1;
    }
}
print(fannkuch(9));
