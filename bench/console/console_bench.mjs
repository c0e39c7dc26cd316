// velquin-console's speed, measured in a real headless Chromium against the real player and
// console (the set-up of tests/console):
// - round trip of inspector changes: a value typed into the inspector's position field, sent
//   as the player's command, until the player's event for it has come back to the page
//   (median and 99th percentile; the target is a 99th percentile of at most 20 ms);
// - a burst of 10,000 moves of an actor by another client (velquin-ctl): the time from the
//   burst's last reply until the page's inspector shows the last values (target: within one
//   second), the page's longest frame during the burst and how many times it drew.
//   bench/console/console_bench.sh PLAYER_DIR [CHANGES]

import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { createRequire } from 'node:module';
import { Stage } from '../../tests/console/support.mjs';

// puppeteer-core's own WebSocket client, for the console measured without a browser.
const WebSocket = createRequire(new URL('../../tests/console/package.json', import.meta.url))('ws');

const changes = Number(process.argv[2] ?? 1000);
const percentile = (sorted, p) => sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];

const stage = new Stage();
try {
  await stage.start(process.env.BENCH_NO_CAMERA ? { camera: 'none' } : {});
  await stage.ctl('send', 'project.actors.light.create("lamp");');
  const page = await stage.openPage();
  await (await page.waitForSelector('#tree [data-actor=lamp] .item')).click();
  await page.waitForSelector('#inspector input[name=position0]');

  if (process.env.BENCH_NO_PICTURE) await page.evaluate(() => window.velquinConsole.picture.unwatch());
  // Round trips: each change waits for its event before the next one is typed.
  const measured = await page.evaluate(async (count) => {
    const { roundTrips } = window.velquinConsole;
    roundTrips.measured.length = 0;
    const field = document.querySelector('#inspector input[name=position0]');
    for (let i = 1; i <= count; i += 1) {
      field.value = String(i % 500);
      field.dispatchEvent(new Event('change'));
      const start = performance.now();
      while (roundTrips.measured.length < i) {
        if (performance.now() - start > 5000) throw new Error(`change ${i} came back not at all`);
        await new Promise((resolve) => setTimeout(resolve, 0));
      }
    }
    return roundTrips.measured.slice();
  }, changes);
  const sorted = measured.sort((a, b) => a - b);
  const p99 = percentile(sorted, 99);
  console.log(`inspector round trip over ${sorted.length} changes: median ${percentile(sorted, 50).toFixed(2)} ms, ` +
    `99th percentile ${p99.toFixed(2)} ms, worst ${sorted[sorted.length - 1].toFixed(2)} ms ` +
    `(target: 99th percentile <= 20 ms: ${p99 <= 20 ? 'met' : 'MISSED'})`);

  // The burst: 10,000 moves from another client; the page counts its frames meanwhile.
  const moves = [];
  for (let i = 1; i <= 10000; i += 1) moves.push(`project.actors.light.translate("lamp", ${i}, ${-i}, ${i % 97});`);
  writeFileSync(join(stage.scratch, 'burst.cmd'), `${moves.join('\n')}\n`);
  await page.evaluate(() => {
    const watch = { longest: 0, last: performance.now(), frames: window.velquinConsole.view.frames, running: true };
    const tick = (now) => {
      watch.longest = Math.max(watch.longest, now - watch.last);
      watch.last = now;
      if (watch.running) requestAnimationFrame(tick);
    };
    requestAnimationFrame(tick);
    window.burstWatch = watch;
  });
  const started = Date.now();
  await stage.ctl('send', '-f', join(stage.scratch, 'burst.cmd'));
  const ended = Date.now();
  await page.waitForFunction(() => {
    const fields = [0, 1, 2].map((i) => document.querySelector(`#inspector input[name=position${i}]`).value);
    return fields.join(',') === '10000,-10000,9';
  }, { polling: 'raf', timeout: 30000 });
  const shown = Date.now() - ended;
  const watch = await page.evaluate(() => {
    window.burstWatch.running = false;
    return { longest: window.burstWatch.longest, drawn: window.velquinConsole.view.frames - window.burstWatch.frames,
      lastBatch: performance.now() - window.velquinConsole.roundTrips.lastBatchAt };
  });
  console.log(`burst of 10,000 events by velquin-ctl: sent in ${ended - started} ms; the page showed the last values ` +
    `${shown} ms after the burst's end (target: <= 1000 ms: ${shown <= 1000 ? 'met' : 'MISSED'}); ` +
    `${watch.drawn} redraws, longest frame ${watch.longest.toFixed(1)} ms; the last events reached the page ` +
    `${Math.max(0, shown - watch.lastBatch).toFixed(0)} ms after the burst's end`);

  // The same round trip without the browser: a WebSocket client speaking the page's requests
  // straight to the console, which separates the console's share from the browser's.
  const socket = new WebSocket(`${stage.origin.replace('http', 'ws')}/events?token=${stage.token}`, { origin: stage.origin });
  let arrived = 0;
  socket.on('message', (data) => { if (JSON.parse(data).events) arrived += 1; });
  await new Promise((resolve) => socket.on('open', resolve));
  const direct = [];
  for (let i = 1; i <= changes; i += 1) {
    const before = arrived;
    const start = performance.now();
    socket.send(JSON.stringify({ id: i, send: [['project.actors.light.translate', 'lamp', i % 500, 0, 0]] }));
    while (arrived === before) await new Promise((resolve) => setImmediate(resolve));
    direct.push(performance.now() - start);
  }
  socket.close();
  direct.sort((a, b) => a - b);
  console.log(`the same round trip through the console without a browser: median ${percentile(direct, 50).toFixed(2)} ms, ` +
    `99th percentile ${percentile(direct, 99).toFixed(2)} ms`);
} finally {
  await stage.stop();
}
