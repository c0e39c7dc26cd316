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
    this.scratch = mkdtempSync(join(tmpdir(), 'velquin-console-test-'));
    this.downloads = join(this.scratch, 'downloads');
    mkdirSync(this.downloads);
    this.playerPort = await freePort();
    writeFileSync(join(this.scratch, 'start.cmd'),
      `project.net.init(${this.playerPort});\nproject.videocapture.init("File", "${camera}");\n`);
    this.player = spawn('./velquin', [join(this.scratch, 'start.cmd')], {
      cwd: playerDir,
      env: { ...process.env, VELQUIN_NO_CONFIG_DIALOG: '1', TMPDIR: this.scratch },
      stdio: ['ignore', 'pipe', 'pipe'],
    });
    this.playerOutput = '';
    this.player.stdout.on('data', (d) => { this.playerOutput += d; });
    this.player.stderr.on('data', (d) => { this.playerOutput += d; });
    await until(async () => {
      if (this.player.exitCode !== null) throw new Error(`the player ended: ${this.playerOutput}`);
      return (await this.ctl('send', 'project.title.get();').catch(() => null)) !== null;
    }, 'the player to listen', 60000);

    this.token = 'console-test-token-0123456789';
    const tokenFile = join(this.scratch, 'token');
    writeFileSync(tokenFile, `${this.token}\n`);
    this.console = spawn(join(playerDir, 'velquin-console'),
      ['--player', `127.0.0.1:${this.playerPort}`, '--listen', '127.0.0.1:0', '--token-file', tokenFile],
      { stdio: ['ignore', 'pipe', 'pipe'] });
    this.consoleOutput = '';
    this.console.stderr.on('data', (d) => { this.consoleOutput += d; });
    this.address = await new Promise((resolve, reject) => {
      let out = '';
      this.console.stdout.on('data', (d) => {
        out += d;
        const found = out.match(/the page is at (\S+)/);
        if (found) resolve(found[1]);
      });
      this.console.on('exit', () => reject(new Error(`velquin-console ended: ${out}${this.consoleOutput}`)));
    });
    this.origin = new URL(this.address).origin;
    if (browser) {
      this.browser = await puppeteer.launch({
        executablePath: process.env.VELQUIN_CHROMIUM ?? '/usr/bin/chromium',
        headless: true,
        args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
          '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-dev-shm-usage',
          `--user-data-dir=${join(this.scratch, 'chromium')}`],
      });
    }
    return this;
  }

  // velquin-ctl against the test's player; resolves with its standard output.
  async ctl(...args) {
    const { stdout } = await run(join(playerDir, 'velquin-ctl'), ['-p', String(this.playerPort), '-t', '20', ...args],
      { cwd: playerDir });
    return stdout;
  }

  // A page of the console, opened with the token, once it has read the project.
  async openPage({ width = 1400, height = 900 } = {}) {
    const page = await this.browser.newPage();
    await page.setViewport({ width, height });
    page.on('pageerror', (error) => { this.pageErrors = [...(this.pageErrors ?? []), error.message]; });
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: this.downloads });
    await page.goto(this.address);
    await page.waitForFunction(() => document.getElementById('player-status').classList.contains('up'));
    return page;
  }

  async stop() {
    await this.browser?.close().catch(() => {});
    for (const child of [this.console, this.player]) {
      if (child && child.exitCode === null) {
        child.kill('SIGTERM');
        await new Promise((resolve) => { child.once('exit', resolve); setTimeout(resolve, 10000); });
      }
    }
    rmSync(this.scratch, { recursive: true, force: true });
  }
}
