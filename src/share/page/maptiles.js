// The map the program put into the page from an MBTiles file (the script's last part, in such
// a page only): its tiles are pictures in the page's data, drawn on a canvas of their own
// under the tracks at the chart's view (window.tideplotStats.view, which chart.js keeps up to
// date as soon as the reader pans or zooms). The view is looked at every frame and the map
// drawn anew only when it moved or a tile's picture became ready. Beyond the page's deepest
// zoom its tiles are drawn larger; where the page holds no tile of a zoom (finer zooms cover
// the tracks only), the coarser tile's part stands in for it.
(() => {
  const map = JSON.parse(document.getElementById('race-data').textContent).embeddedMap;
  if (!map) return;
  const $ = (id) => document.getElementById(id);
  $('attribution').textContent = map.attribution;
  $('attribution').hidden = false;

  const canvas = document.createElement('canvas');
  canvas.id = 'embedded-map';
  canvas.setAttribute('aria-hidden', 'true');
  Object.assign(canvas.style, { position: 'absolute', inset: '0', width: '100%', height: '100%', pointerEvents: 'none' });
  $('map').after(canvas);
  const ctx = canvas.getContext('2d');

  // Pictures are made from the page's data when first drawn; null for a tile not held.
  const pictures = new Map();
  let ready = 0;
  function picture(z, x, y) {
    const key = z + '/' + x + '/' + y;
    let p = pictures.get(key);
    if (p !== undefined) return p;
    p = null;
    if (Object.prototype.hasOwnProperty.call(map.tiles, key)) {
      const img = new Image();
      const made = { img, ok: false };
      img.onload = () => { made.ok = true; ++ready; };
      img.src = map.tiles[key];
      p = made;
    }
    pictures.set(key, p);
    return p;
  }

  // The tile (z, x, y) on the canvas at (sx, sy), `size` pixels a side: its own picture, or
  // the part of the nearest coarser one the page holds.
  function drawTile(z, x, y, sx, sy, size) {
    for (let up = 0; z - up >= map.minZoom; ++up) {
      const p = picture(z - up, x >> up, y >> up);
      if (!p || !p.ok) continue;
      const part = p.img.naturalWidth / 2 ** up, within = (1 << up) - 1;
      ctx.drawImage(p.img, (x & within) * part, (y & within) * part, part, part, sx, sy, size + 0.5, size + 0.5);
      return;
    }
  }

  function draw(view) {
    const width = Math.round(view.width * view.dpr), height = Math.round(view.height * view.dpr);
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    ctx.setTransform(view.dpr, 0, 0, view.dpr, 0, 0);
    ctx.clearRect(0, 0, view.width, view.height);
    const z = Math.max(map.minZoom, Math.min(map.maxZoom, Math.round(Math.log2(view.scale / 256))));
    const n = 2 ** z, size = view.scale / n;
    const wx0 = view.cx - view.width / 2 / view.scale, wy0 = view.cy - view.height / 2 / view.scale;
    const x0 = Math.floor(wx0 * n), x1 = Math.floor((wx0 + view.width / view.scale) * n);
    const y0 = Math.max(0, Math.floor(wy0 * n)), y1 = Math.min(n - 1, Math.floor((wy0 + view.height / view.scale) * n));
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > 400) return;
    for (let y = y0; y <= y1; ++y) {
      for (let x = x0; x <= x1; ++x) {
        drawTile(z, ((x % n) + n) % n, y, (x / n - wx0) * view.scale, (y / n - wy0) * view.scale, size);
      }
    }
  }

  let drawn = '';
  function frame() {
    const view = window.tideplotStats && window.tideplotStats.view;
    if (view) {
      const key = [view.cx, view.cy, view.scale, view.width, view.height, view.dpr, ready].join();
      if (key !== drawn) {
        drawn = key;
        draw(view);
      }
    }
    requestAnimationFrame(frame);
  }
  requestAnimationFrame(frame);
})();
