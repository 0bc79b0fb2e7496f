// Floating-point arithmetic on objects: the n-body simulation.
var PI = 3.141592653589793;
var SOLAR_MASS = 4 * PI * PI;
var DAYS_PER_YEAR = 365.24;
function Body(x, y, z, vx, vy, vz, mass) {
    this.x = x; this.y = y; this.z = z;
    this.vx = vx; this.vy = vy; this.vz = vz;
    this.mass = mass;
}
function offsetMomentum(bodies) {
    var px = 0.0, py = 0.0, pz = 0.0, i, b;
    for (i = 0; i < bodies.length; i++) {
        b = bodies[i];
        px = px + b.vx * b.mass; py = py + b.vy * b.mass; pz = pz + b.vz * b.mass;
    }
    bodies[0].vx = -px / SOLAR_MASS; bodies[0].vy = -py / SOLAR_MASS; bodies[0].vz = -pz / SOLAR_MASS;
}
function advance(bodies, dt) {
    var n = bodies.length, i, j, bi, bj, dx, dy, dz, d2, mag;
    for (i = 0; i < n; i++) {
        bi = bodies[i];
        for (j = i + 1; j < n; j++) {
            bj = bodies[j];
            dx = bi.x - bj.x; dy = bi.y - bj.y; dz = bi.z - bj.z;
            d2 = dx * dx + dy * dy + dz * dz;
            mag = dt / (d2 * Math.sqrt(d2));
            bi.vx = bi.vx - dx * bj.mass * mag; bi.vy = bi.vy - dy * bj.mass * mag; bi.vz = bi.vz - dz * bj.mass * mag;
            bj.vx = bj.vx + dx * bi.mass * mag; bj.vy = bj.vy + dy * bi.mass * mag; bj.vz = bj.vz + dz * bi.mass * mag;
        }
    }
    for (i = 0; i < n; i++) {
        bi = bodies[i];
        bi.x = bi.x + dt * bi.vx; bi.y = bi.y + dt * bi.vy; bi.z = bi.z + dt * bi.vz;
    }
}
function energy(bodies) {
    var e = 0.0, n = bodies.length, i, j, bi, bj, dx, dy, dz;
    for (i = 0; i < n; i++) {
        bi = bodies[i];
        e = e + 0.5 * bi.mass * (bi.vx * bi.vx + bi.vy * bi.vy + bi.vz * bi.vz);
        for (j = i + 1; j < n; j++) {
            bj = bodies[j];
            dx = bi.x - bj.x; dy = bi.y - bj.y; dz = bi.z - bj.z;
            e = e - (bi.mass * bj.mass) / Math.sqrt(dx * dx + dy * dy + dz * dz);
        }
    }
    return e;
}
var bodies = [
    new Body(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, SOLAR_MASS),
    new Body(4.84143144246472090e+00, -1.16032004402742839e+00, -1.03622044471123109e-01,
             1.66007664274403694e-03 * DAYS_PER_YEAR, 7.69901118419740425e-03 * DAYS_PER_YEAR,
             -6.90460016972063023e-05 * DAYS_PER_YEAR, 9.54791938424326609e-04 * SOLAR_MASS),
    new Body(8.34336671824457987e+00, 4.12479856412430479e+00, -4.03523417114321381e-01,
             -2.76742510726862411e-03 * DAYS_PER_YEAR, 4.99852801234917238e-03 * DAYS_PER_YEAR,
             2.30417297573763929e-05 * DAYS_PER_YEAR, 2.85885980666130812e-04 * SOLAR_MASS),
    new Body(1.28943695621391310e+01, -1.51111514016986312e+01, -2.23307578892655734e-01,
             2.96460137564761618e-03 * DAYS_PER_YEAR, 2.37847173959480950e-03 * DAYS_PER_YEAR,
             -2.96589568540237556e-05 * DAYS_PER_YEAR, 4.36624404335156298e-05 * SOLAR_MASS),
    new Body(1.53796971148509165e+01, -2.59193146099879641e+01, 1.79258772950371181e-01,
             2.68067772490389322e-03 * DAYS_PER_YEAR, 1.62824170038242295e-03 * DAYS_PER_YEAR,
             -9.51592254519715870e-05 * DAYS_PER_YEAR, 5.15138902046611451e-05 * SOLAR_MASS)
];
offsetMomentum(bodies);
print(Math.round(energy(bodies) * 1000000000));
var step;
for (step = 0; step < 200000; step++) advance(bodies, 0.01);
print(Math.round(energy(bodies) * 1000000000));
