// An AudioWorkletProcessor that plays each sound posted to its port, one after another, pulling
// every 128-sample block straight from a voice in the audio thread: nothing is rendered ahead.
// The package is imported from a copy beside this file (or through your bundler).
import { createVoice } from './bleepforge/index.js';

class BleepProcessor extends AudioWorkletProcessor {
  constructor() {
    super();
    this.queue = [];
    this.port.onmessage = ({ data: sound }) => {
      this.queue.push(createVoice(sound, { rate: sampleRate }));
      this.port.postMessage({ queued: this.queue.length });
    };
  }

  process(inputs, outputs) {
    const out = outputs[0][0];
    let done = 0;
    while (done < out.length && this.queue.length > 0) {
      const written = this.queue[0].render(out.subarray(done));
      if (written === 0) this.queue.shift();
      done += written;
    }
    out.fill(0, done);
    return true;
  }
}

registerProcessor('bleepforge-voice', BleepProcessor);
