// Starts what the console's browser tests, its benchmark and the README's picture need: a real
// player on the virtual display (recorded camera frames, remote control on a free port), the
// real velquin-console beside it with a known token, and headless Chromium. Everything is
// stopped again by stop(); the scratch folder holds the player's work directory and downloads.

import { spawn, execFile } from 'node:child_process';
import { mkdtempSync, writeFileSync, rmSync, mkdirSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import puppeteer from 'puppeteer-core';

export const playerDir = process.env.VELQUIN_PLAYER_DIR;
if (!playerDir) throw new Error('VELQUIN_PLAYER_DIR must name the runnable folder (build/player)');

const run = promisify(execFile);

export function freePort() {
  return new Promise((resolve, reject) => {
    const server = createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export async function until(condition, what, timeoutMs = 20000) {
  const end = Date.now() + timeoutMs;
  for (;;) {
    const value = await condition();
    if (value) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await sleep(50);
  }
}

export class Stage {
  // camera: the "File" configuration the player starts with (a single picture keeps the
  // background still, so that only the content changes the live picture).
  async start({ camera = 'frames/frame-000.png@30', browser = true } = {}) {
    this.prepare();
    await this.startPlayer({ camera });
    await this.startConsole();
    if (browser) await this.startBrowser();
    return this;
  }

  // The scratch folder, and the player's port when none is given.
  prepare() {
    this.scratch ??= mkdtempSync(join(tmpdir(), 'velquin-console-test-'));
    this.downloads = join(this.scratch, 'downloads');
    mkdirSync(this.downloads, { recursive: true });
    this.consoles = this.consoles ?? [];
    this.token = 'console-test-token-0123456789';
    return this;
  }

  // The player on this.playerPort (a free one the first time), once it answers commands. The
  // commands of extra go into its command file after the camera's.
  async startPlayer({ camera = 'frames/frame-000.png@30', extra = '' } = {}) {
    this.prepare();
    this.playerPort ??= await freePort();
    writeFileSync(join(this.scratch, 'start.cmd'),
      `project.net.init(${this.playerPort});\nproject.videocapture.init("File", "${camera}");\n${extra}`);
    this.player = spawn('./velquin', [join(this.scratch, 'start.cmd')], {
      cwd: playerDir,
      env: { ...process.env, VELQUIN_NO_CONFIG_DIALOG: '1', TMPDIR: this.scratch },
      stdio: ['ignore', 'pipe', 'pipe'],
    });
    const player = this.player;
    this.playerOutput = '';
    player.stdout.on('data', (d) => { this.playerOutput += d; });
    player.stderr.on('data', (d) => { this.playerOutput += d; });
    await until(async () => {
      if (player.exitCode !== null) throw new Error(`the player ended: ${this.playerOutput}`);
      return (await this.ctl('send', 'project.title.get();').catch(() => null)) !== null;
    }, 'the player to listen', 60000);
    return player;
  }

  // Ends the player the hard way, as a crash would, and waits until it is gone.
  async killPlayer() {
    const player = this.player;
    if (player && player.exitCode === null && player.signalCode === null) {
      const gone = new Promise((resolve) => player.once('exit', resolve));
      player.kill('SIGKILL');
      await gone;
    }
  }

  // A velquin-console for this stage's player (this.playerPort, chosen here when no player runs
  // yet). args are added to the command line, env replaces variables of the environment (a
  // value of undefined removes one). The first console started is this.console, whose address
  // openPage uses; every one is stopped by stop().
  async startConsole({ args = [], env = {} } = {}) {
    this.prepare();
    this.playerPort ??= await freePort();
    const tokenFile = join(this.scratch, 'token');
    writeFileSync(tokenFile, `${this.token}\n`);
    const environment = { ...process.env, ...env };
    for (const [key, value] of Object.entries(env)) if (value === undefined) delete environment[key];
    const child = spawn(join(playerDir, 'velquin-console'),
      ['--player', `127.0.0.1:${this.playerPort}`, '--listen', '127.0.0.1:0', '--token-file', tokenFile, ...args],
      { stdio: ['ignore', 'pipe', 'pipe'], env: environment });
    this.consoles.push(child);
    child.output = '';
    child.stderr.on('data', (d) => { child.output += d; });
    child.address = await new Promise((resolve, reject) => {
      let out = '';
      child.stdout.on('data', (d) => {
        out += d;
        child.output += d;
        const found = out.match(/the page is at (\S+)/);
        if (found) resolve(found[1]);
      });
      child.on('exit', () => reject(new Error(`velquin-console ended: ${child.output}`)));
    });
    child.origin = new URL(child.address).origin;
    if (!this.console) {
      this.console = child;
      this.address = child.address;
      this.origin = child.origin;
    }
    return child;
  }

  get consoleOutput() {
    return this.console?.output ?? '';
  }

  async startBrowser() {
    this.browser = await puppeteer.launch({
      executablePath: process.env.VELQUIN_CHROMIUM ?? '/usr/bin/chromium',
      headless: true,
      args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-dev-shm-usage',
        `--user-data-dir=${join(this.scratch, 'chromium')}`],
    });
    return this.browser;
  }

  // velquin-ctl against the test's player; resolves with its standard output.
  async ctl(...args) {
    const { stdout } = await run(join(playerDir, 'velquin-ctl'), ['-p', String(this.playerPort), '-t', '20', ...args],
      { cwd: playerDir });
    return stdout;
  }

  // A page of the console (this.address, or the address given), opened with the token, once it
  // has read the project; with connected false, once it has been told the player's state.
  async openPage({ width = 1400, height = 900, address = this.address, connected = true } = {}) {
    const page = await this.browser.newPage();
    await page.setViewport({ width, height });
    page.on('pageerror', (error) => { this.pageErrors = [...(this.pageErrors ?? []), error.message]; });
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: this.downloads });
    await page.goto(address);
    if (connected) {
      await page.waitForFunction(() => document.getElementById('player-status').classList.contains('up'));
    } else {
      await page.waitForFunction(() => document.getElementById('player-status').textContent.startsWith('no player'));
    }
    return page;
  }

  async stop() {
    await this.browser?.close().catch(() => {});
    for (const child of [...(this.consoles ?? []), this.player]) {
      if (child && child.exitCode === null && child.signalCode === null) {
        child.kill('SIGTERM');
        await new Promise((resolve) => { child.once('exit', resolve); setTimeout(resolve, 10000); });
      }
    }
    if (this.scratch) rmSync(this.scratch, { recursive: true, force: true });
  }
}
