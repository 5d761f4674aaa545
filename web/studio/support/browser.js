// The studio in Debian's chromium, headless, driven by playwright-core: the page as a user gets it
// (opened from disk), every network request and console error recorded.
import { createHash } from 'node:crypto';
import { existsSync, mkdirSync, readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
export const root = join(here, '..', '..', '..');

// The page under test: the one the web build made, or the copy kept in the repository.
export const studioPath = process.env.BLEEPFORGE_STUDIO || join(root, 'web', 'bleepforge-studio.html');
export const studioUrl = pathToFileURL(studioPath).href;
export const nativeBleep = process.env.BLEEP || join(root, 'build', 'release', 'bleep');
export const haveNativeBleep = existsSync(nativeBleep);
export const screenshotDir = process.env.BLEEPFORGE_SCREENSHOTS || join(root, 'build', 'studio-screenshots');

export const sha256 = (data) => createHash('sha256').update(data).digest('hex');
export const referenceHashes = new Map(
  readFileSync(join(root, 'tests', 'reference', 'SHA256SUMS'), 'utf8').trim().split('\n').map((line) => line.split(/\s+/).reverse()),
);

// Flags that keep a headless chromium off the network it has no business with.
const flags = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required', '--mute-audio'];

export async function launch() {
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: flags });
  const problems = [];
  // A page with its problems recorded: any request that is not the file itself (or, for a page
  // served on loopback, its own server), a data: or a blob: URL, any console error and any uncaught
  // exception. It is ready when the selector shows.
  async function open(options = {}, url = studioUrl, { ready = 'body[data-ready="true"]' } = {}) {
    const served = url.startsWith('http://127.0.0.1:') ? new URL(url).origin : null;
    const context = await browser.newContext({ acceptDownloads: true, ...options });
    const page = await context.newPage();
    page.on('request', (request) => {
      const address = request.url();
      if (!(address.startsWith('data:') || address.startsWith('blob:') || address.split('#')[0] === studioUrl ||
            (served && address.startsWith(`${served}/`)))) {
        problems.push(`network request: ${address}`);
      }
    });
    page.on('console', (message) => {
      if (message.type() === 'error') problems.push(`console error: ${message.text()}`);
    });
    page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
    await page.goto(url);
    await page.waitForSelector(ready);
    return page;
  }
  return { browser, open, problems };
}

// What a click downloads, as bytes and its suggested name.
export async function download(page, selector) {
  const [file] = await Promise.all([page.waitForEvent('download'), page.click(selector)]);
  const path = await file.path();
  return { name: file.suggestedFilename(), bytes: readFileSync(path) };
}

// What a click downloads when it gives several files, in the order they come.
export async function downloads(page, selector, count) {
  const files = [];
  const all = new Promise((resolve) => {
    const seen = (file) => {
      files.push(file);
      if (files.length === count) {
        page.off('download', seen);
        resolve();
      }
    };
    page.on('download', seen);
  });
  await page.click(selector);
  await all;
  return Promise.all(files.map(async (file) => ({ name: file.suggestedFilename(), bytes: readFileSync(await file.path()) })));
}

// Whether an action downloads nothing: no download starts while it runs and for a while after.
export async function nothingDownloaded(page, action) {
  let downloaded = false;
  const seen = () => {
    downloaded = true;
  };
  page.on('download', seen);
  await action();
  await page.waitForTimeout(300);
  page.off('download', seen);
  return !downloaded;
}

export function screenshotFolder() {
  mkdirSync(screenshotDir, { recursive: true });
  return screenshotDir;
}

// The value a member's number field shows.
export async function valueOf(page, name) {
  return page.inputValue(`#field-${name}-number`);
}

// Types a value into a member's number field and commits it, as Enter does.
export async function setValue(page, name, value) {
  await page.fill(`#field-${name}-number`, String(value));
  await page.press(`#field-${name}-number`, 'Enter');
}
