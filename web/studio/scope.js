// Pictures of the samples: the whole waveform, a live oscilloscope and a spectrogram. They only
// look at samples the library rendered.

export function prepare(canvas, clear = true) {
  // Draw at the canvas's displayed size, sharp on dense screens.
  const ratio = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
  const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
  }
  const context = canvas.getContext('2d');
  if (!clear) return { context, width, height };
  context.fillStyle = '#0c0e12';
  context.fillRect(0, 0, width, height);
  context.strokeStyle = '#2a303c';
  context.beginPath();
  context.moveTo(0, height / 2);
  context.lineTo(width, height / 2);
  context.stroke();
  return { context, width, height };
}

// Every sample, as the lowest and highest value under each column; the playhead at `at` (0..1).
export function drawWaveform(canvas, samples, at = null) {
  const { context, width, height } = prepare(canvas);
  context.fillStyle = '#5fd7a0';
  const perColumn = samples.length / width;
  for (let x = 0; x < width && samples.length; ++x) {
    const start = Math.floor(x * perColumn);
    const end = Math.max(start + 1, Math.floor((x + 1) * perColumn));
    let low = 1;
    let high = -1;
    for (let i = start; i < end && i < samples.length; ++i) {
      low = Math.min(low, samples[i]);
      high = Math.max(high, samples[i]);
    }
    const top = ((1 - high) / 2) * height;
    context.fillRect(x, top, 1, Math.max(1, ((high - low) / 2) * height));
  }
  if (at !== null) {
    context.fillStyle = '#ffd866';
    context.fillRect(Math.round(at * width), 0, 2, height);
  }
}

// What the analyser hears now.
export function drawScope(canvas, analyser) {
  const { context, width, height } = prepare(canvas);
  if (!analyser) {
    context.fillStyle = '#a4abbd';
    context.font = `${Math.round(height / 8)}px system-ui, sans-serif`;
    context.fillText('live while the sound plays', 8, height / 8 + 6);
    return;
  }
  const data = new Float32Array(analyser.fftSize);
  analyser.getFloatTimeDomainData(data);
  context.strokeStyle = '#5fd7a0';
  context.lineWidth = 2;
  context.beginPath();
  for (let x = 0; x < width; ++x) {
    const y = ((1 - data[Math.floor((x / width) * data.length)]) / 2) * height;
    if (x === 0) context.moveTo(x, y);
    else context.lineTo(x, y);
  }
  context.stroke();
}

// In-place radix-2 FFT of (re, im), length a power of two, with its twiddles computed once a size.
const twiddles = new Map();
function fft(re, im) {
  const n = re.length;
  if (!twiddles.has(n)) {
    const cos = new Float64Array(n / 2);
    const sin = new Float64Array(n / 2);
    for (let k = 0; k < n / 2; ++k) {
      cos[k] = Math.cos((-2 * Math.PI * k) / n);
      sin[k] = Math.sin((-2 * Math.PI * k) / n);
    }
    twiddles.set(n, { cos, sin });
  }
  const { cos, sin } = twiddles.get(n);
  for (let i = 1, j = 0; i < n; ++i) {
    let bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      [re[i], re[j]] = [re[j], re[i]];
      [im[i], im[j]] = [im[j], im[i]];
    }
  }
  for (let size = 2; size <= n; size <<= 1) {
    const half = size / 2;
    const stride = n / size;
    for (let start = 0; start < n; start += size) {
      for (let k = 0; k < half; ++k) {
        const wr = cos[k * stride];
        const wi = sin[k * stride];
        const a = start + k;
        const b = a + half;
        const tr = re[b] * wr - im[b] * wi;
        const ti = re[b] * wi + im[b] * wr;
        re[b] = re[a] - tr;
        im[b] = im[a] - ti;
        re[a] += tr;
        im[a] += ti;
      }
    }
  }
}

// Time across, frequency up on a logarithmic scale from 40 Hz to half the rate, loudness as light.
// Drawn off screen a band of columns per animation frame, so a slider never waits behind it, and
// shown once complete; a newer call abandons an older drawing.
let drawing = 0;
export function drawSpectrogram(canvas, samples, rate) {
  const ticket = ++drawing;
  const shown = prepare(canvas, samples.length === 0);
  const { width, height } = shown;
  if (!samples.length) return;
  const offscreen = document.createElement('canvas');
  offscreen.width = width;
  offscreen.height = height;
  const context = offscreen.getContext('2d');
  const size = 1024;
  const taper = new Float32Array(size).map((_, i) => 0.5 - 0.5 * Math.cos((2 * Math.PI * i) / (size - 1)));
  const re = new Float64Array(size);
  const im = new Float64Array(size);
  const lowest = Math.log(40);
  const highest = Math.log(rate / 2);
  const bins = Array.from({ length: height }, (_, y) => {
    const frequency = Math.exp(lowest + ((height - 1 - y) / Math.max(1, height - 1)) * (highest - lowest));
    return Math.min(size / 2 - 1, Math.round((frequency / rate) * size));
  });
  const band = 48;
  const drawBand = (first) => {
    if (ticket !== drawing) return;
    const columns = Math.min(band, width - first);
    const image = context.createImageData(columns, height);
    for (let c = 0; c < columns; ++c) {
      const centre = Math.floor(((first + c + 0.5) / width) * samples.length);
      for (let i = 0; i < size; ++i) {
        const j = centre - size / 2 + i;
        re[i] = j >= 0 && j < samples.length ? samples[j] * taper[i] : 0;
        im[i] = 0;
      }
      fft(re, im);
      for (let y = 0; y < height; ++y) {
        const magnitude = Math.hypot(re[bins[y]], im[bins[y]]) / (size / 4);
        const level = Math.max(0, Math.min(1, 1 + Math.log10(magnitude + 1e-9) / 4));  // 80 dB of range
        const offset = (y * columns + c) * 4;
        image.data[offset] = 12 + 243 * level ** 2;
        image.data[offset + 1] = 14 + 215 * level;
        image.data[offset + 2] = 18 + 150 * level;
        image.data[offset + 3] = 255;
      }
    }
    context.putImageData(image, first, 0);
    if (first + columns < width) requestAnimationFrame(() => drawBand(first + columns));
    else shown.context.drawImage(offscreen, 0, 0);
  };
  drawBand(0);
}
