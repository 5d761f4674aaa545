// Small icons drawn as SVG elements, so they look the same without any emoji font.
const svgNamespace = 'http://www.w3.org/2000/svg';

function svg(children) {
  const root = document.createElementNS(svgNamespace, 'svg');
  root.setAttribute('viewBox', '0 0 16 16');
  root.setAttribute('width', '16');
  root.setAttribute('height', '16');
  root.setAttribute('aria-hidden', 'true');
  root.setAttribute('focusable', 'false');
  for (const [name, attributes] of children) {
    const child = document.createElementNS(svgNamespace, name);
    for (const [key, value] of Object.entries(attributes)) child.setAttribute(key, value);
    root.append(child);
  }
  return root;
}

const stroke = { fill: 'none', stroke: 'currentColor', 'stroke-width': '1.5' };

export function dieIcon() {
  const pip = (cx, cy) => ['circle', { cx, cy, r: '1.3', fill: 'currentColor' }];
  return svg([['rect', { x: '1.5', y: '1.5', width: '13', height: '13', rx: '3', ...stroke }],
    pip('5', '5'), pip('8', '8'), pip('11', '11'), pip('11', '5'), pip('5', '11')]);
}

export function lockIcon(closed) {
  const shackle = closed ? 'M5 7V5a3 3 0 0 1 6 0v2' : 'M5 7V5a3 3 0 0 1 6 0';
  return svg([['rect', { x: '3', y: '7', width: '10', height: '7.5', rx: '1.5', ...stroke }],
    ['path', { d: shackle, ...stroke }]]);
}
