// How long the studio takes from a slider change to the new samples ready, for the 32 preset/chip
// pairs: the page measures each change itself (performance measure "bleepforge:render", from the
// input event to the end of the render). A benchmark, not a test: it prints the median and worst.
// Usage: node bench/latency.mjs [changes per pair]
import { launch } from '../support/browser.js';

const changes = Number(process.argv[2] || 20);
const presets = ['laser', 'jump', 'explosion', 'coin', 'powerup', 'hit', 'blip', 'game_over'];
const chips = ['nes', 'sid', 'gameboy', 'ym2612'];

const session = await launch();
const page = await session.open({ viewport: { width: 1280, height: 800 } });
const all = [];
const worstByPair = [];
for (const chip of chips) {
  await page.selectOption('#chip', chip);
  for (const preset of presets) {
    await page.click(`button[data-preset="${preset}"]`);
    await page.evaluate(() => performance.clearMeasures('bleepforge:render'));
    await page.focus('#field-base_freq-slider');
    for (let i = 0; i < changes; ++i) await page.keyboard.press(i % 2 ? 'ArrowLeft' : 'ArrowRight');
    const durations = await page.evaluate(() =>
      performance.getEntriesByName('bleepforge:render').map((entry) => entry.duration));
    all.push(...durations);
    worstByPair.push([Math.max(...durations), `${preset}/${chip}`]);
  }
}
await session.browser.close();
all.sort((a, b) => a - b);
const median = all[Math.floor(all.length / 2)];
const p95 = all[Math.floor(all.length * 0.95)];
const [worst, pair] = worstByPair.sort((a, b) => b[0] - a[0])[0];
console.log(`slider change to samples ready, ${all.length} changes over 32 pairs (each render 0.5 s at 44100 Hz):`);
console.log(`  median ${median.toFixed(2)} ms, 95th percentile ${p95.toFixed(2)} ms, worst ${worst.toFixed(2)} ms (${pair}); goal under 5 ms`);
if (session.problems.length) {
  console.error(session.problems.join('\n'));
  process.exit(1);
}
