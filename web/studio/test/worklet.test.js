// The package inside an AudioWorklet, as examples/worklet/ uses it: the processor pulls a voice
// block by block in the audio thread, and what the context renders is render()'s samples exactly.
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { createServer } from 'node:http';
import { extname, join, normalize } from 'node:path';
import { after, before, test } from 'node:test';

import { launch, root } from '../support/browser.js';

const packageDir = process.env.BLEEPFORGE_PACKAGE || join(root, 'build', 'web', 'web', 'package');
const exampleDir = join(root, 'examples', 'worklet');
const bleepforge = await import(join(packageDir, 'index.js'));
const types = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript' };

// The example's folder on loopback, with the package as its bleepforge/ folder beside it.
let server;
let session;
before(async () => {
  server = createServer(async (request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const file = path.startsWith('/bleepforge/') ? join(packageDir, path.slice(12)) : join(exampleDir, path);
    try {
      const body = await readFile(file);
      response.writeHead(200, { 'content-type': types[extname(file)] || 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  session = await launch();
});
after(async () => {
  await session.browser.close();
  server.close();
  assert.deepEqual(session.problems, [], 'no request beyond the page\'s own server, no console or page error');
});

test('a voice in an AudioWorklet plays render()\'s samples, one sound after another', async () => {
  const page = await session.open({}, `http://127.0.0.1:${server.address().port}/index.html`, { ready: 'button' });
  const sounds = [bleepforge.random('coin', 'sid', 5), { ...bleepforge.makeSound('laser', 'ym2612'), duration: 0.2 }];
  const frames = 44100;
  const rendered = await page.evaluate(async ({ sounds, frames }) => {
    const context = new OfflineAudioContext(1, frames, 44100);
    await context.audioWorklet.addModule('voice-processor.js');
    const node = new AudioWorkletNode(context, 'bleepforge-voice');
    node.connect(context.destination);
    const queued = new Promise((resolve) => {
      node.port.onmessage = ({ data }) => data.queued === sounds.length && resolve();
    });
    for (const sound of sounds) node.port.postMessage(sound);
    await queued;
    return Array.from((await context.startRendering()).getChannelData(0));
  }, { sounds, frames });
  const expected = new Float32Array(frames);
  const first = bleepforge.render(sounds[0]);
  expected.set(first);
  expected.set(bleepforge.render(sounds[1]), first.length);
  assert.equal(rendered.length, frames);
  const differing = rendered.findIndex((value, i) => !Object.is(value + 0, expected[i] + 0));
  assert.equal(differing, -1, `sample ${differing} differs`);
  await page.context().close();
});
