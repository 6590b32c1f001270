// Shows ?media=... with its exported waveform data ?data=... (.dat or .json)
// in peaks.js, then writes what the viewer loaded and drew into #status as
// JSON, so a headless browser can check it.
'use strict';

const WaveformColor = [200, 20, 126];  // #c8147e

function report(result) {
  document.getElementById('status').textContent = JSON.stringify(result);
}

// The final result also goes back to the server, which prints it: a headless
// browser run needs no display and no fixed wait.
function finish(result) {
  report(result);
  return fetch('report', { method: 'POST', body: JSON.stringify(result) }).catch(() => {});
}

function nextFrame() {
  return new Promise(resolve => requestAnimationFrame(() => resolve()));
}

// Samples per pixel from the data's header, so the view can start at the
// data's own resolution (peaks.js refuses zoom levels finer than the data).
function scaleOf(data) {
  return data instanceof ArrayBuffer ? new DataView(data).getInt32(12, true) : data.samples_per_pixel;
}

// The canvas that holds most waveform-coloured pixels, and the colour at the
// middle of the first channel's band in its first column.
function readBack(container, channels, columns) {
  let best = null;
  for (const canvas of container.querySelectorAll('canvas')) {
    const ctx = canvas.getContext('2d');
    const img = ctx.getImageData(0, 0, canvas.width, canvas.height);
    let count = 0;
    for (let i = 0; i < img.data.length; i += 4) {
      if (img.data[i] === WaveformColor[0] && img.data[i + 1] === WaveformColor[1] &&
          img.data[i + 2] === WaveformColor[2] && img.data[i + 3] === 255)
        count++;
    }
    if (!best || count > best.count) {
      const band = Math.floor(canvas.height / channels);
      const mid = Math.floor(band / 2);
      const x = Math.floor(Math.min(canvas.width, columns) / 2);
      best = {
        count,
        width: canvas.width,
        height: canvas.height,
        middle: Array.from(ctx.getImageData(x, mid, 1, 1).data),
        top: Array.from(ctx.getImageData(x, 0, 1, 1).data),
      };
    }
  }
  return best;
}

async function main() {
  const params = new URLSearchParams(location.search);
  const mediaUrl = params.get('media');
  const dataUrl = params.get('data');
  if (!mediaUrl || !dataUrl)
    throw new Error('the page needs ?media=...&data=...');
  const response = await fetch(dataUrl);
  if (!response.ok)
    throw new Error(`${dataUrl}: HTTP ${response.status}`);
  const isJson = dataUrl.endsWith('.json');
  const data = isJson ? await response.json() : await response.arrayBuffer();

  const audio = document.getElementById('audio');
  const metadata = new Promise((resolve, reject) => {
    audio.addEventListener('loadedmetadata', resolve, { once: true });
    audio.addEventListener('error', () => reject(new Error(`${mediaUrl}: cannot be played`)), { once: true });
  });
  audio.src = mediaUrl;
  await metadata;

  const scale = scaleOf(data);
  const color = `rgb(${WaveformColor.join(',')})`;
  const peaks = await new Promise((resolve, reject) => {
    window.peaks.init({
      zoomview: { container: document.getElementById('zoomview'), waveformColor: color, playheadColor: 'black' },
      overview: { container: document.getElementById('overview'), waveformColor: color },
      mediaElement: audio,
      waveformData: isJson ? { json: data } : { arraybuffer: data },
      zoomLevels: [scale, scale * 2, scale * 4, scale * 8],
    }, (err, instance) => (err ? reject(err) : resolve(instance)));
  });
  // Konva draws on the next animation frames.
  await nextFrame();
  await nextFrame();

  const waveform = peaks.getWaveformData();
  await finish({
    state: 'ready',
    mediaDuration: audio.duration,
    dataDuration: waveform.duration,
    length: waveform.length,
    channels: waveform.channels,
    sampleRate: waveform.sample_rate,
    samplesPerPixel: waveform.scale,
    firstMin: waveform.channel(0).min_sample(0),
    firstMax: waveform.channel(0).max_sample(0),
    waveformColor: WaveformColor,
    zoomview: readBack(document.getElementById("zoomview"), waveform.channels, waveform.length),
  });
}

main().catch(err => finish({ state: 'error', message: String(err && err.message || err) }));
