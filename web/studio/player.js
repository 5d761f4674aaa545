// Playback through Web Audio: the rendered samples as they are, at the export rate, with an
// analyser for the oscilloscope.

let context = null;
let analyser = null;
let source = null;

export function play(samples, rate, onEnd) {
  if (!context) {
    context = new AudioContext();
    analyser = context.createAnalyser();
    analyser.fftSize = 2048;
    analyser.connect(context.destination);
  }
  stop();
  if (!samples.length) {
    onEnd();
    return;
  }
  let buffer;
  try {
    buffer = context.createBuffer(1, samples.length, rate);
  } catch {
    buffer = context.createBuffer(1, samples.length, context.sampleRate);  // a rate the browser refuses
  }
  buffer.copyToChannel(samples, 0);
  const started = context.currentTime;
  source = context.createBufferSource();
  source.buffer = buffer;
  source.connect(analyser);
  const playing = source;
  source.addEventListener('ended', () => {
    if (source === playing) source = null;
    onEnd();
  });
  context.resume();
  source.start();
  return () => Math.min(1, (context.currentTime - started) / buffer.duration);
}

export function stop() {
  if (source) {
    const old = source;
    source = null;
    old.stop();
  }
}

export const isPlaying = () => source !== null;
export const currentAnalyser = () => analyser;
