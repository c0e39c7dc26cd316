// Orientation as pitch, yaw and roll, the way the player reports them: each angle is the
// engine's projection of the quaternion on one axis (about x, y and z). Those three are no
// exact Euler decomposition, so the quaternion for wanted angles is found by Newton's method,
// starting from the yaw-pitch-roll product; the player then reports the angles typed.

const radians = (degrees) => (degrees * Math.PI) / 180;
const degrees = (radians) => (radians * 180) / Math.PI;

function about(axis, angle) {
  const half = radians(angle) / 2;
  const s = Math.sin(half);
  return [Math.cos(half), axis === 0 ? s : 0, axis === 1 ? s : 0, axis === 2 ? s : 0];
}

function multiply([w1, x1, y1, z1], [w2, x2, y2, z2]) {
  return [
    w1 * w2 - x1 * x2 - y1 * y2 - z1 * z2,
    w1 * x2 + x1 * w2 + y1 * z2 - z1 * y2,
    w1 * y2 - x1 * z2 + y1 * w2 + z1 * x2,
    w1 * z2 + x1 * y2 - y1 * x2 + z1 * w2,
  ];
}

// The player's pitch, yaw and roll of a unit quaternion (w, x, y, z), in degrees.
export function anglesOf([w, x, y, z]) {
  return [
    degrees(Math.atan2(2 * (y * z + w * x), 1 - 2 * (x * x + z * z))),
    degrees(Math.atan2(2 * (x * z + w * y), 1 - 2 * (x * x + y * y))),
    degrees(Math.atan2(2 * (x * y + w * z), 1 - 2 * (y * y + z * z))),
  ];
}

function fromEuler([pitch, yaw, roll]) {
  return multiply(multiply(about(2, roll), about(1, yaw)), about(0, pitch));
}

const wrap = (angle) => ((((angle + 180) % 360) + 360) % 360) - 180;

// A unit quaternion (w, x, y, z) whose pitch, yaw and roll are the given ones, as near as they
// can be reached.
export function quaternionOf(wanted) {
  let guess = wanted.slice();
  let best = fromEuler(guess);
  let bestError = Infinity;
  for (let step = 0; step < 12; step += 1) {
    const now = fromEuler(guess);
    const got = anglesOf(now);
    const error = got.map((value, i) => wrap(wanted[i] - value));
    const size = Math.hypot(...error);
    if (size < bestError) {
      bestError = size;
      best = now;
    }
    if (size < 1e-6) break;
    // The Jacobian by differences, then one Newton step (3 x 3 solve by Cramer's rule).
    const h = 1e-3;
    const columns = [0, 1, 2].map((i) => {
      const moved = guess.slice();
      moved[i] += h;
      const after = anglesOf(fromEuler(moved));
      return after.map((value, k) => wrap(value - got[k]) / h);
    });
    const det = (a, b, c) =>
      a[0] * (b[1] * c[2] - b[2] * c[1]) - b[0] * (a[1] * c[2] - a[2] * c[1]) + c[0] * (a[1] * b[2] - a[2] * b[1]);
    const d = det(columns[0], columns[1], columns[2]);
    if (Math.abs(d) < 1e-9) break;
    guess = [
      guess[0] + det(error, columns[1], columns[2]) / d,
      guess[1] + det(columns[0], error, columns[2]) / d,
      guess[2] + det(columns[0], columns[1], error) / d,
    ];
  }
  return best;
}
