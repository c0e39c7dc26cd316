// velquin-console in a real headless Chromium against the real player and the real console:
// the page opened with its token builds a show through its own controls (uploads through the
// file input, trackers, resources, a mesh actor, the inspector, an animation), saves and
// downloads it, loads it again, follows another client's events, shares the project with a
// second page, shows the live picture, and the console refuses requests without the token and
// WebSockets from other sites.
// Run by CTest under xvfb-run (tests/console/CMakeLists.txt).

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, statSync } from 'node:fs';
import { request } from 'node:http';
import { join } from 'node:path';
import { execFileSync } from 'node:child_process';
import { Stage, playerDir, until, sleep } from './support.mjs';

const stage = new Stage();
let page;
let other; // a second page on the same console

// The page's model, read in the page.
const model = (fn, ...args) => page.evaluate(fn, ...args);
const actor = (name) => model((n) => {
  const a = window.velquinConsole.project.actors.get(n);
  return a ? JSON.parse(JSON.stringify(a)) : null;
}, name);
const errorShown = () => page.$eval('#error', (e) => (e.hidden ? '' : e.textContent));

// An HTTP request with raw headers; resolves with the status (101 for an accepted upgrade).
function rawStatus(path, headers = {}) {
  const { hostname, port } = new URL(stage.origin);
  return new Promise((resolve, reject) => {
    const req = request({ host: hostname, port, path, headers });
    req.on('response', (response) => { response.resume(); resolve(response.statusCode); });
    req.on('upgrade', (response, socket) => { socket.destroy(); resolve(response.statusCode); });
    req.on('error', reject);
    req.end();
  });
}
const upgrade = (origin) => ({
  Connection: 'Upgrade', Upgrade: 'websocket', 'Sec-WebSocket-Version': '13',
  'Sec-WebSocket-Key': 'dGhlIHNhbXBsZSBub25jZQ==', ...(origin ? { Origin: origin } : {}),
});

// The pixels of one live frame, decoded by the browser.
async function frame() {
  return page.evaluate(async () => {
    const response = await fetch('/picture.jpg');
    if (!response.ok) throw new Error(`${response.status} ${await response.text()}`);
    const bitmap = await createImageBitmap(await response.blob());
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    const context = canvas.getContext('2d');
    context.drawImage(bitmap, 0, 0);
    return { type: response.headers.get('content-type'), pixels: Array.from(context.getImageData(0, 0, bitmap.width, bitmap.height).data) };
  });
}
const difference = (a, b) => a.reduce((sum, value, i) => sum + (Math.abs(value - b[i]) > 40 ? 1 : 0), 0);

before(async () => {
  await stage.start();
  page = await stage.openPage();
});

after(async () => {
  await stage.stop();
});

test('requests without the token get 401, WebSockets from another site are refused', async () => {
  assert.equal(await rawStatus('/'), 401);
  assert.equal(await rawStatus('/app.js'), 401);
  assert.equal(await rawStatus('/?token=wrong-token-0123456789'), 401);
  assert.equal(await rawStatus('/events', upgrade(stage.origin)), 401);
  assert.equal(await rawStatus(`/events?token=${stage.token}`, upgrade('http://evil.example')), 403);
  assert.equal(await rawStatus(`/picture?token=${stage.token}`, upgrade('http://evil.example')), 403);
  assert.equal(await rawStatus(`/events?token=${stage.token}`, upgrade(stage.origin)), 101);
  // A page of another site, in the same browser, cannot open the console's socket even with the token.
  const other = await stage.browser.newPage();
  await other.goto('data:text/html,<p>another site</p>');
  const opened = await other.evaluate((url) => new Promise((resolve) => {
    const socket = new WebSocket(url);
    socket.onopen = () => resolve(true);
    socket.onerror = () => resolve(false);
  }), `${stage.origin.replace('http', 'ws')}/events?token=${stage.token}`);
  assert.equal(opened, false);
  await other.close();
});

test('build a show from the page: uploads, tracker, resource, mesh actor, connect', async () => {
  const input = await page.$('#upload-files');
  await input.uploadFile(join(playerDir, 'markers/letter-v.pat'), join(playerDir, 'samples/robot.zip'));
  await page.waitForFunction(() => document.getElementById('uploads').textContent.includes('robot.zip')
    && document.getElementById('uploads').textContent.includes('letter-v.pat'));

  await page.type('#create-tracker input[name=name]', 'vee');
  await page.select('#create-tracker select[name=pattern]', 'letter-v.pat');
  await page.click('#create-tracker button');
  await until(() => model(() => window.velquinConsole.project.trackers.has('vee')), 'the tracker');

  await page.type('#create-resource input[name=name]', 'robot');
  await page.select('#create-resource select[name=package]', 'robot.zip');
  await page.click('#create-resource button');
  await until(() => model(() => window.velquinConsole.project.resources.get('robot')?.files.includes('robot.mesh')),
    'the resource and its files');

  await page.select('#create-actor select[name=kind]', 'mesh');
  await page.type('#create-actor input[name=name]', 'robot');
  await page.select('#create-actor select[name=resource]', 'robot');
  await page.select('#create-actor select[name=file]', 'robot.mesh');
  await page.click('#create-actor button');
  await until(() => actor('robot'), 'the mesh actor');

  await (await page.waitForSelector('#tree [data-actor=robot] .item')).click();
  await page.waitForSelector('#inspector button[name=connect]');
  await page.select('#inspector select[name=tracker]', 'vee');
  await page.click('#inspector button[name=connect]');
  await until(async () => (await actor('robot'))?.tracker === 'vee', 'the connection');
  assert.equal(await errorShown(), '');
  assert.match(await stage.ctl('send', 'project.actors.mesh.getTrackerName("robot");'), /"vee"/);
});

test('the inspector moves the actor, and velquin-ctl reads the new position back', async () => {
  const x = await page.$('#inspector input[name=position0]');
  await x.click({ clickCount: 3 });
  await x.type('25');
  await page.keyboard.press('Enter');
  await until(async () => (await actor('robot')).position[0] === 25, 'the translated event');
  assert.equal((await stage.ctl('send', 'project.actors.mesh.getTranslation("robot");')).trim(), '(25, 0, 0)');

  // Dragging on the y field changes it while the pointer moves.
  const y = await page.$('#inspector input[name=position1]');
  const box = await y.boundingBox();
  await page.mouse.move(box.x + 10, box.y + box.height / 2);
  await page.mouse.down();
  for (let step = 1; step <= 10; step += 1) await page.mouse.move(box.x + 10 + step * 4, box.y + box.height / 2);
  await page.mouse.up();
  await until(async () => (await actor('robot')).position[1] === 40, 'the dragged value', 5000);
  assert.equal((await stage.ctl('send', 'project.actors.mesh.getTranslation("robot");')).trim(), '(25, 40, 0)');

  // Rotation typed as pitch, yaw and roll comes back as the same angles.
  // From no rotation: the package's own orientation has a yaw of 90 degrees, where pitch and
  // roll turn about the same axis.
  await stage.ctl('send', 'project.actors.mesh.rotate("robot", 1, 0, 0, 0);');
  await until(async () => (await actor('robot')).angles.every((v) => v === 0), 'no rotation');
  for (const [i, value] of [[0, '20'], [1, '30'], [2, '40']]) {
    const field = await page.$(`#inspector input[name=angles${i}]`);
    await field.click({ clickCount: 3 });
    await field.type(value);
    await page.keyboard.press('Tab');
  }
  await until(async () => (await actor('robot')).angles.every((v, i) => Math.abs(v - [20, 30, 40][i]) < 0.01),
    'the rotated event', 5000).catch(async (error) => {
    throw new Error(`${error.message}: the page has ${(await actor('robot')).angles}`);
  });
  const angles = (await stage.ctl('send', 'project.actors.mesh.getAngles("robot");')).trim();
  assert.deepEqual(angles.slice(1, -1).split(',').map((v) => Math.round(Number(v))), [20, 30, 40]);
});

test('an event caused by velquin-ctl appears on the page within 200 ms', async () => {
  for (let round = 0; round < 3; round += 1) {
    const title = `Set by velquin-ctl ${round}`;
    await stage.ctl('send', `project.title.set("${title}");`);
    const replied = Date.now();
    await page.waitForFunction((t) => document.getElementById('title').value === t
      && document.getElementById('log').textContent.includes(t), { polling: 'raf', timeout: 5000 }, title);
    const shown = Date.now() - replied;
    assert.ok(shown <= 200, `the event took ${shown} ms to show`);
  }
});

test('two pages and velquin-ctl see one project: what one page changes shows on the other', async () => {
  other = await stage.openPage();
  const otherActor = (name) => other.evaluate((n) => {
    const a = window.velquinConsole.project.actors.get(n);
    return a ? JSON.parse(JSON.stringify(a)) : null;
  }, name);
  // The page opened later reads the project as the first one built it.
  const mine = await actor('robot');
  const theirs = await otherActor('robot');
  assert.deepEqual([theirs.tracker, theirs.position, theirs.kind], [mine.tracker, mine.position, mine.kind]);
  assert.equal(await other.evaluate(() => window.velquinConsole.project.trackers.has('vee')), true);

  // Typed into the second page's inspector: the first page and velquin-ctl see it.
  await (await other.waitForSelector('#tree [data-actor=robot] .item')).click();
  const z = await other.waitForSelector('#inspector input[name=position2]');
  await z.click({ clickCount: 3 });
  await z.type('12');
  await other.keyboard.press('Enter');
  await until(async () => (await actor('robot')).position[2] === 12, 'the first page to see the move', 5000);
  assert.match((await stage.ctl('send', 'project.actors.mesh.getTranslation("robot");')).trim(), /, 12\)$/);

  // The title typed on the first page shows on the second.
  await page.$eval('#title', (e) => { e.value = ''; });
  await page.type('#title', 'Shared show');
  await page.keyboard.press('Enter');
  await other.waitForFunction(() => document.getElementById('title').value === 'Shared show', { timeout: 5000 });

  // velquin-ctl's change reaches both.
  await stage.ctl('send', 'project.actors.mesh.translate("robot", 1, 2, 3);');
  await until(async () => (await actor('robot')).position.join() === '1,2,3'
    && (await otherActor('robot')).position.join() === '1,2,3', 'both pages to see velquin-ctl\'s move', 5000);
  assert.equal(await other.$eval('#error', (e) => (e.hidden ? '' : e.textContent)), '');
  // The show keeps the title the tests after this one save and load.
  await stage.ctl('send', 'project.title.set("Set by velquin-ctl 2");');
  await until(() => model(() => window.velquinConsole.project.title === 'Set by velquin-ctl 2'), 'the title back');
  // Only the tab in front is visible, and only a visible page watches the live picture.
  await page.bringToFront();
  assert.equal(await other.evaluate(() => document.hidden), true);
  await page.waitForFunction(() => !document.hidden);
});

test('the live picture is a JPEG of the player window whose pixels change when the actor moves', async () => {
  // The page's own picture stream runs at 10 frames a second or more.
  const counted = await page.evaluate(async () => {
    const picture = window.velquinConsole.picture;
    const first = picture.frames;
    await new Promise((resolve) => setTimeout(resolve, 2000));
    return picture.frames - first;
  });
  assert.ok(counted >= 20, `${counted} frames in 2 s`);

  await stage.ctl('send', 'project.actors.mesh.translate("robot", 0, 0, 0);');
  await sleep(400);
  const before = await frame();
  assert.equal(before.type, 'image/jpeg');
  const still = await frame();
  await stage.ctl('send', 'project.actors.mesh.translate("robot", 60, 0, 0);');
  await sleep(400);
  const after = await frame();
  const unchanged = difference(before.pixels, still.pixels);
  const moved = difference(before.pixels, after.pixels);
  assert.ok(moved > 2000 && moved > 20 * (unchanged + 1), `moved ${moved}, unchanged ${unchanged}`);
});

test('an animation plays from the inspector', async () => {
  await page.waitForFunction(() => window.velquinConsole.project.actors.get('robot').animations.includes('Wave'));
  await page.select('#inspector select[name=animation]', 'Wave');
  const first = await frame();
  await sleep(300);
  const still = await frame();
  assert.ok(difference(first.pixels, still.pixels) < 200, 'the picture moves before the animation plays');
  await page.click('#inspector button[name=play]');
  await sleep(700);
  const a = await frame();
  await sleep(300);
  const b = await frame();
  assert.ok(difference(a.pixels, b.pixels) > 200, 'the robot does not move');
  assert.equal(await errorShown(), '');
  await page.click('#inspector button[name=pause]');
});

test('save downloads the archive with the project document; it loads again', async () => {
  await page.$eval('#save-name', (e) => { e.value = ''; });
  await page.type('#save-name', 'stage-show');
  await page.click('#save-project');
  const archive = join(stage.downloads, 'stage-show.zip');
  await until(() => existsSync(archive) && statSync(archive).size > 0, 'the download', 20000);
  await sleep(300);
  const listing = execFileSync('unzip', ['-l', archive]).toString();
  assert.match(listing, /stage-show\.xml/);
  assert.match(listing, /robot\.zip/);
  assert.match(listing, /letter-v\.pat/);

  await page.click('#new-project');
  await page.click('#new-project');
  await until(async () => (await actor('robot')) === null, 'the new project');

  const open = await page.$('#open-project');
  await open.uploadFile(archive);
  await until(async () => (await actor('robot'))?.tracker === 'vee', 'the loaded project', 30000);
  const loaded = await actor('robot');
  assert.deepEqual(loaded.position, [60, 0, 0]);
  assert.equal(await model(() => window.velquinConsole.project.title), 'Set by velquin-ctl 2');
  assert.equal(await errorShown(), '');
});

test('a failure is shown with the reason the player gives', async () => {
  await page.type('#create-resource input[name=name]', 'robot2');
  await page.select('#create-resource select[name=package]', 'robot.zip');
  await page.evaluate(() => window.velquinConsole.actions.run(['project.resources.create', 'broken', 'letter-v.pat']));
  const shown = await errorShown();
  assert.match(shown, /project\.resources\.create\("broken", "letter-v\.pat"\): fail/);
  assert.deepEqual(stage.pageErrors ?? [], []);
});

test('a new project made on one page empties every other page too', async () => {
  // A tab left in the background is frozen by Chromium after a while.
  await other.bringToFront();
  await until(async () => (await other.evaluate(() => window.velquinConsole.project.actors.size)) > 0,
    'the second page to have the loaded project', 5000);
  await other.click('#new-project');
  await other.click('#new-project');
  await until(() => model(() => window.velquinConsole.project.actors.size === 0
    && window.velquinConsole.project.trackers.size === 0 && window.velquinConsole.project.resources.size === 0),
  'the first page to read the new project', 5000);
});
