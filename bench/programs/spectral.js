// Arrays of doubles: the spectral norm.
function a(i, j) { return 1.0 / ((i + j) * (i + j + 1) / 2 + i + 1); }
function multiplyAv(n, v, av) {
    var i, j, sum;
    for (i = 0; i < n; i++) {
        sum = 0.0;
        for (j = 0; j < n; j++) sum = sum + a(i, j) * v[j];
        av[i] = sum;
    }
}
function multiplyAtv(n, v, atv) {
    var i, j, sum;
    for (i = 0; i < n; i++) {
        sum = 0.0;
        for (j = 0; j < n; j++) sum = sum + a(j, i) * v[j];
        atv[i] = sum;
    }
}
function multiplyAtAv(n, v, atav) {
    var u = [], i;
    for (i = 0; i < n; i++) u[i] = 0.0;
    multiplyAv(n, v, u);
    multiplyAtv(n, u, atav);
}
function spectralnorm(n) {
    var u = [], v = [], i, vBv = 0.0, vv = 0.0;
    for (i = 0; i < n; i++) { u[i] = 1.0; v[i] = 0.0; }
    for (i = 0; i < 10; i++) {
        multiplyAtAv(n, u, v);
        multiplyAtAv(n, v, u);
    }
    for (i = 0; i < n; i++) {
        vBv = vBv + u[i] * v[i];
        vv = vv + v[i] * v[i];
    }
    return Math.sqrt(vBv / vv);
}
print(Math.round(spectralnorm(300) * 1000000000));
