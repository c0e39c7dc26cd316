// velquin-console in set-ups of their own, each test with its own player and consoles: the
// console started before the player and kept while the player restarts; the live picture
// captured only while a page watches, and explained where the console cannot see the player's
// window; uploads refused over the bound before anything reaches the player, and a large one
// streamed through without the console holding it.
// Run by CTest under xvfb-run with console.test.mjs (tests/console/CMakeLists.txt).

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createHash, randomBytes } from 'node:crypto';
import { once } from 'node:events';
import { readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { request } from 'node:http';
import { createServer } from 'node:net';
import { join } from 'node:path';
import { Stage, until, sleep } from './support.mjs';

const model = (page, fn, ...args) => page.evaluate(fn, ...args);
const errorShown = (page) => page.$eval('#error', (e) => (e.hidden ? '' : e.textContent));
const playerStatus = (page) => page.$eval('#player-status', (e) => e.textContent);

// A number of /proc/PID/status (or of one of its threads), in bytes for the kB ones.
function procStatus(path, key) {
  const found = new RegExp(`^${key}:\\s+(\\d+)( kB)?`, 'm').exec(readFileSync(path, 'utf8'));
  if (!found) throw new Error(`no ${key} in ${path}`);
  return Number(found[1]) * (found[2] ? 1024 : 1);
}

// How often the console's picture thread has been scheduled: it only grows while the thread
// works, since an idle one sleeps without a timeout until a page watches.
function pictureThreadRuns(pid) {
  for (const task of readdirSync(`/proc/${pid}/task`)) {
    const folder = `/proc/${pid}/task/${task}`;
    if (readFileSync(`${folder}/comm`, 'utf8').trim() === 'velquin-picture') {
      return procStatus(`${folder}/status`, 'voluntary_ctxt_switches')
        + procStatus(`${folder}/status`, 'nonvoluntary_ctxt_switches');
    }
  }
  throw new Error('the console has no velquin-picture thread');
}

async function runsDuring(pid, ms) {
  const first = pictureThreadRuns(pid);
  await sleep(ms);
  return pictureThreadRuns(pid) - first;
}

// An HTTP request to a console; resolves with the status and the body once the answer is whole.
// body: a Buffer, or a function that writes the body into the request (size then says the
// Content-Length), or nothing to send the head alone and wait for the answer.
function post(relay, token, path, { size, body, chunked = false } = {}) {
  const { hostname, port } = new URL(relay.origin);
  const headers = chunked ? { 'Transfer-Encoding': 'chunked' } : { 'Content-Length': String(size ?? body?.length ?? 0) };
  return new Promise((resolve, reject) => {
    const req = request({ host: hostname, port, path: `${path}&token=${token}`, method: 'POST', headers });
    req.on('response', (response) => {
      let text = '';
      response.setEncoding('utf8');
      response.on('data', (d) => { text += d; });
      response.on('end', () => { resolve({ status: response.statusCode, text }); req.destroy(); });
    });
    req.on('error', reject);
    if (Buffer.isBuffer(body)) req.end(body);
    else if (typeof body === 'function') body(req).catch(reject);
    else req.flushHeaders();
  });
}

// A stand-in for the player that records every connection the console opens to it: its first
// line, and for an upload the bytes after it (counted and digested). It accepts the listener
// and command handshakes and closes an upload once its bytes are in, as the player does; it
// reads the upload in bursts with pauses, so that a console that read ahead of the player would
// have to hold what it read.
async function standInPlayer() {
  const connections = [];
  const server = createServer((socket) => {
    const record = { line: null, bytes: 0, size: 0, digest: createHash('sha256') };
    connections.push(record);
    let head = Buffer.alloc(0);
    let sincePause = 0;
    socket.on('error', () => {});
    socket.on('data', (data) => {
      if (record.line === null) {
        head = Buffer.concat([head, data]);
        const end = head.indexOf('\n');
        if (end < 0) return;
        record.line = head.subarray(0, end).toString().trim();
        data = head.subarray(end + 1);
        const upload = /^uploadFile\("[^"]*", (\d+)\);$/.exec(record.line);
        if (!upload) {
          socket.write('ok\r\n');
          return;
        }
        record.size = Number(upload[1]);
      }
      if (record.size === 0) return;
      record.bytes += data.length;
      record.digest.update(data);
      sincePause += data.length;
      if (record.bytes >= record.size) {
        record.hash = record.digest.digest('hex');
        socket.end();
      } else if (sincePause >= 16 << 20) {
        sincePause = 0;
        socket.pause();
        setTimeout(() => socket.resume(), 40);
      }
    });
  });
  server.listen(0, '127.0.0.1');
  await once(server, 'listening');
  return { server, connections, port: server.address().port };
}

test('the console waits for the player, and reads the project afresh when the player restarts', async () => {
  const stage = new Stage().prepare();
  try {
    await stage.startConsole();
    await stage.startBrowser();
    const page = await stage.openPage({ connected: false });
    assert.match(await playerStatus(page), new RegExp(`^no player: no player at 127\\.0\\.0\\.1:${stage.playerPort}`));
    // Long enough for the console to have tried and failed more than once.
    await sleep(1200);

    await stage.startPlayer({ extra: 'project.title.set("first show");\n' });
    await page.waitForFunction(() => document.getElementById('player-status').classList.contains('up'),
      { timeout: 5000 });
    await until(() => model(page, () => window.velquinConsole.project.title === 'first show'), 'the first title', 5000);
    await stage.ctl('send', 'project.actors.light.create("lamp");');
    await until(() => model(page, () => window.velquinConsole.project.actors.has('lamp')), 'the first lamp', 5000);

    // The player goes away: the page says so, and a command given meanwhile fails with the reason.
    await stage.killPlayer();
    await page.waitForFunction(() => !document.getElementById('player-status').classList.contains('up'),
      { timeout: 5000 });
    assert.match(await playerStatus(page), /^no player: /);
    await model(page, () => window.velquinConsole.actions.run(['project.title.set', 'lost']));
    assert.match(await errorShown(page), /^project\.title\.set\("lost"\): .*(player|connection)/);

    // The same port again, with another project: the page shows that one, not what it had.
    await stage.startPlayer({ extra: 'project.title.set("second show");\nproject.actors.light.create("spot");\n' });
    await page.waitForFunction(() => document.getElementById('player-status').classList.contains('up'),
      { timeout: 5000 });
    await until(() => model(page, () => window.velquinConsole.project.title === 'second show'
      && window.velquinConsole.project.actors.has('spot')), 'the restarted player\'s project', 5000);
    assert.equal(await model(page, () => window.velquinConsole.project.actors.has('lamp')), false);

    // The page's commands reach the new player, and its events come back through the new listener.
    const replies = await model(page, () => window.velquinConsole.actions.run(['project.actors.light.translate', 'spot', 7, 8, 9]));
    assert.deepEqual(replies, ['ok']);
    await until(() => model(page, () => window.velquinConsole.project.actors.get('spot').position.join() === '7,8,9'),
      'the moved spot', 5000);
    assert.equal((await stage.ctl('send', 'project.actors.light.getTranslation("spot");')).trim(), '(7, 8, 9)');
  } finally {
    await stage.stop();
  }
});

test('the window is captured only while a page watches the live picture', async (t) => {
  const stage = new Stage();
  try {
    await stage.start();
    const pid = stage.console.pid;
    // Started, with the player's window up, but nobody watching.
    await sleep(500);
    assert.ok(await runsDuring(pid, 1000) <= 1, 'the picture thread works while no page is open');

    const page = await stage.openPage();
    await until(() => model(page, () => window.velquinConsole.picture.frames >= 3), 'the first frames', 10000);
    const watched = await runsDuring(pid, 1000);
    t.diagnostic(`the picture thread ran ${watched} times in a second while a page watched`);
    assert.ok(watched >= 5, 'the picture thread is idle while a page watches');

    // A page hidden (another tab, a minimised window) stops watching, and so the capture.
    await model(page, () => {
      Object.defineProperty(document, 'hidden', { value: true, configurable: true });
      document.dispatchEvent(new Event('visibilitychange'));
    });
    await sleep(300);
    const framesHidden = await model(page, () => window.velquinConsole.picture.frames);
    assert.ok(await runsDuring(pid, 1000) <= 1, 'the picture thread works while the only page is hidden');
    assert.equal(await model(page, () => window.velquinConsole.picture.frames), framesHidden);

    await model(page, () => {
      Object.defineProperty(document, 'hidden', { value: false, configurable: true });
      document.dispatchEvent(new Event('visibilitychange'));
    });
    await until(() => model(page, (n) => window.velquinConsole.picture.frames >= n + 3, framesHidden),
      'frames after the page is shown again', 10000);

    // A single picture over HTTP takes one grab, not a stream.
    await page.close();
    await sleep(300);
    assert.ok(await runsDuring(pid, 1000) <= 1, 'the picture thread works after the last page closed');
    const { hostname, port } = new URL(stage.origin);
    const single = await new Promise((resolve, reject) => {
      request({ host: hostname, port, path: `/picture.jpg?token=${stage.token}` }, (response) => {
        const parts = [];
        response.on('data', (d) => parts.push(d));
        response.on('end', () => resolve({ status: response.statusCode, type: response.headers['content-type'],
          body: Buffer.concat(parts) }));
      }).on('error', reject).end();
    });
    assert.equal(single.status, 200);
    assert.equal(single.type, 'image/jpeg');
    assert.equal(single.body.subarray(0, 2).toString('hex'), 'ffd8');
    await sleep(300);
    assert.ok(await runsDuring(pid, 1000) <= 1, 'the picture thread goes on after a single picture');
  } finally {
    await stage.stop();
  }
});

test('where the console cannot see the player\'s window, the page and /picture.jpg say why', async () => {
  const stage = new Stage();
  try {
    await stage.start({ browser: false });
    await stage.startBrowser();
    const cases = [
      [await stage.startConsole({ env: { DISPLAY: undefined } }),
        'the console has no X display (DISPLAY is not set)', true],
      [await stage.startConsole({ args: ['--window-title', 'Not the player'] }),
        'no window titled "Not the player" on the display', true],
      [await stage.startConsole({ args: ['--player', `192.0.2.1:${stage.playerPort}`] }),
        'the player runs on 192.0.2.1, not on the console\'s machine', false],
    ];
    for (const [other, reason, connected] of cases) {
      const page = await stage.openPage({ address: other.address, connected });
      await page.waitForFunction((r) => document.getElementById('picture-reason').textContent.includes(r),
        { timeout: 5000 }, reason);
      const shown = await page.$eval('#picture-reason', (e) => ({ text: e.textContent, hidden: e.hidden }));
      assert.equal(shown.hidden, false);
      assert.ok(shown.text.startsWith(`No live picture: ${reason}`), shown.text);
      assert.equal(await page.$eval('#picture', (e) => e.hidden), true);
      const answer = await page.evaluate(async () => {
        const response = await fetch('/picture.jpg');
        return { status: response.status, text: await response.text() };
      });
      assert.equal(answer.status, 503);
      assert.ok(answer.text.startsWith(`503 The picture is not available: ${reason}`), answer.text);
      await page.close();
    }
  } finally {
    await stage.stop();
  }
});

test('an upload over the bound is refused on the page with the reason, and the player gets nothing', async () => {
  const stage = new Stage();
  try {
    await stage.start({ browser: false });
    await stage.startBrowser();
    const bounded = await stage.startConsole({ args: ['--max-upload', '1'] });
    const page = await stage.openPage({ address: bounded.address });
    const over = join(stage.scratch, 'over-bound.bin');
    const at = join(stage.scratch, 'at-bound.bin');
    writeFileSync(over, Buffer.alloc(16 << 20, 7));
    writeFileSync(at, Buffer.alloc(1 << 20, 7));

    await (await page.$('#upload-files')).uploadFile(over);
    await page.waitForFunction(() => !document.getElementById('error').hidden, { timeout: 10000 });
    assert.match(await errorShown(page),
      /upload of over-bound\.bin: the file is larger than the console accepts \(1 MiB, --max-upload\)/);
    assert.doesNotMatch(await page.$eval('#uploads', (e) => e.textContent), /over-bound/);
    // The player was never asked to store it.
    assert.equal(await stage.ctl('download', 'over-bound.bin', join(stage.scratch, 'back.bin'))
      .then(() => readFileSync(join(stage.scratch, 'back.bin')).length, () => 0), 0);

    // Exactly the bound is allowed.
    await (await page.$('#upload-files')).uploadFile(at);
    await page.waitForFunction(() => document.getElementById('uploads').textContent.includes('at-bound.bin'),
      { timeout: 10000 });
    await stage.ctl('download', 'at-bound.bin', join(stage.scratch, 'back.bin'));
    assert.equal(readFileSync(join(stage.scratch, 'back.bin')).length, 1 << 20);
  } finally {
    await stage.stop();
  }
});

test('uploads are bounded before any byte goes on, and a 200 MB one is streamed, not held', async (t) => {
  const player = await standInPlayer();
  const stage = new Stage().prepare();
  stage.playerPort = player.port;
  try {
    const relay = await stage.startConsole({ args: ['--max-upload', '300'] });
    await until(() => player.connections.some((c) => c.line === 'listener();'), 'the console\'s listener', 5000);

    // Refused from the head alone: over the bound, or without a size to check.
    const refused = await post(relay, stage.token, '/upload?name=huge.zip', { size: (300 << 20) + 1 });
    assert.equal(refused.status, 413);
    assert.deepEqual(JSON.parse(refused.text),
      { error: 'the file is larger than the console accepts (300 MiB, --max-upload)' });
    const unsized = await post(relay, stage.token, '/upload?name=huge.zip', { chunked: true, body: async (req) => req.end('abc') });
    assert.equal(unsized.status, 411);
    await sleep(200);
    assert.deepEqual(player.connections.map((c) => c.line), ['listener();']);

    // 200 MB through a player that takes its time: the console only ever holds a piece of it.
    const size = 200_000_000;
    const block = randomBytes(1 << 20);
    const sent = createHash('sha256');
    const rssBefore = procStatus(`/proc/${relay.pid}/status`, 'VmRSS');
    const answer = await post(relay, stage.token, '/upload?name=big.bin', {
      size,
      body: async (req) => {
        for (let offset = 0; offset < size; offset += block.length) {
          const piece = block.subarray(0, Math.min(block.length, size - offset));
          sent.update(piece);
          if (!req.write(piece)) await once(req, 'drain');
        }
        req.end();
      },
    });
    const peak = procStatus(`/proc/${relay.pid}/status`, 'VmHWM');
    assert.equal(answer.status, 200, answer.text);
    assert.deepEqual(JSON.parse(answer.text), { name: 'big.bin', size });
    const uploads = player.connections.filter((c) => c.line.startsWith('uploadFile'));
    assert.equal(uploads.length, 1);
    assert.equal(uploads[0].line, `uploadFile("big.bin", ${size});`);
    assert.equal(uploads[0].bytes, size);
    assert.equal(uploads[0].hash, sent.digest('hex'));
    const growth = peak - rssBefore;
    t.diagnostic(`200 MB relayed; the console's resident memory grew by ${(growth / 1048576).toFixed(1)} MiB at most`);
    assert.ok(growth < 32 << 20, `the console grew by ${(growth / 1048576).toFixed(1)} MiB for a 200 MB upload`);
  } finally {
    await stage.stop();
    player.server.close();
  }
});
