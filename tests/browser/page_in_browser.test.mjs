// The real quillory's page in headless Chromium, read from outside through the driver, which the
// page's policy does not govern.   Usage: node page_in_browser.test.mjs QUILLORY
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import {tmpdir} from 'node:os';
import path from 'node:path';
import {after, test} from 'node:test';
import {pathToFileURL} from 'node:url';
import {chromium} from 'playwright-core';

const scratch = mkdtempSync(path.join(tmpdir(), 'quillory-browser-'));
const image = (name) => readFileSync(new URL(`../../examples/images/${name}`, import.meta.url));
// A browser may connect to warm up, asking nothing: connections are counted too.
const seen = {requests: [], connections: 0};
const server = http.createServer((request, response) => response.end(void seen.requests.push(request.url)));
server.on('connection', () => ++seen.connections);
await new Promise((listening) => server.listen(0, '127.0.0.1', listening));
const origin = `http://127.0.0.1:${server.address().port}`;
const browser = await chromium.launch({executablePath: '/usr/bin/chromium', args: ['--no-sandbox']});
const context = await browser.newContext({viewport: {width: 900, height: 700}});
await context.addInitScript(() => document.addEventListener('securitypolicyviolation',
    (e) => (window.violations ??= []).push(e.effectiveDirective)));
after(async () => (await browser.close(), server.close(), server.closeAllConnections(),
    rmSync(scratch, {recursive: true, force: true})));

const ran = (what) => `document.documentElement.dataset.${what}='ran'`;
const wide = 'w'.repeat(400);
// Each case: a document (or files, the first rendered), what to do on its page, facts that must hold.
const cases = [{
  name: 'no script runs: script elements, event handlers, javascript: links',
  markdown: `<script>${ran('scriptElement')}</script>\n\n<img src="x" onerror="${ran('onerror')}">\n
[a Markdown link](<javascript:void(${ran('markdownLink')})>)\n
<a href="javascript:void(${ran('htmlLink')})">an HTML link</a>\n\n<p id="clickable" onclick="${ran('onclick')}">p</p>`,
  async act(page) {
    for (const target of await page.locator('a[href^="javascript:"], #clickable').all()) await target.click();
    await page.waitForFunction(() => Object.keys(document.documentElement.dataset).length +  // run or refused
        (window.violations ?? []).filter((d) => d.startsWith('script-src')).length >= 5, null, {timeout: 10000});
  },
  facts: () => ({'nothing ran': JSON.stringify(document.documentElement.dataset) === '{}'}),
}, {
  name: 'the document\'s styles do not apply, the page\'s stylesheet does',
  markdown: `<style>\n.md { background-color: rgb(0, 255, 0) !important; }
.md-watermark { display: none !important; }\n#by-element { color: rgb(0, 0, 255) !important; }\n</style>\n
<p id="by-element">styled by a style element</p>\n
<p id="by-attribute" style="color: rgb(255, 0, 0); font-size: 40px">styled by an attribute</p>\n
Malformed math: $\\frac{$ and more text.`,
  facts: () => {
    const style = (selector) => getComputedStyle(document.querySelector(selector));
    return {
      'no style element': style('.md').backgroundColor !== 'rgb(0, 255, 0)' && style('.md-watermark').display !==
          'none' && style('#by-element').color !== 'rgb(0, 0, 255)',
      'no style attribute': style('#by-attribute').color !== 'rgb(255, 0, 0)' && style('#by-attribute').fontSize !== '40px',
      // A browser's defaults leave the article unbounded and unpadded.
      'a bounded, padded article': style('.md').maxWidth !== 'none' && parseFloat(style('.md').paddingLeft) > 0,
      'a smaller watermark': parseFloat(style('.md-watermark').fontSize) < parseFloat(style('.md p').fontSize),
      // KaTeX's own inline colour is refused; the stylesheet's colour marks the error.
      'a marked math error': !['rgb(204, 0, 0)', style('.md p').color].includes(style('.katex-error').color),
    };
  },
}, {
  name: 'nothing the document names is requested or connected to',
  markdown: `![a Markdown image](${origin}/markdown-image.png)\n
<img src="${origin}/html-image.png"><img srcset="${origin}/srcset-image.png 2x">
<video src="${origin}/video.mp4" poster="${origin}/poster.png"></video>
<iframe src="${origin}/frame.html"></iframe><iframe loading="lazy" src="${origin}/lazy.html"></iframe>
<iframe srcdoc="<link rel=preconnect href=${origin}>"></iframe>
<div><svg><foreignObject><iframe src="${origin}/svg-frame.html"></iframe></foreignObject></svg></div>
<object data="${origin}/object.html"></object><script src="${origin}/script.js"></script>
<link rel="stylesheet" href="${origin}/sheet.css"><link rel="preconnect" href="${origin}">
<link REL="icon PreConnect" href="${origin}"><link rel="dns-prefetch" href="${origin}">\n
<style>\n@font-face { font-family: "Remote"; src: url("${origin}/font.woff2") format("woff2"); }
.md p { font-family: "Remote", sans-serif; }\nbody { background-image: url("${origin}/style-element.png"); }\n</style>\n
<p style="background-image: url('${origin}/style-attribute.png')">text in a remote font</p>`,
}, {
  name: 'a meta refresh does not navigate, even one hidden from a naive scan',
  // Each hides the refresh after it from a scan that does not read markup as a browser does.
  markdown: ['', '<div><!-- <meta a=" -->', '<div title=\'<meta a="\'>', '<textarea><meta a="</textarea>',
    '<div><svg><style>'].map((hider) => `${hider}<meta http-equiv="refresh" content="0; url=${origin}/r">`)
      .join('\n') + '</style></svg></div>\n\ntext',
  facts: () => ({'the page stays': location.protocol === 'file:'}),
}, {
  name: 'a local image below the document\'s folder shows inlined, one outside it does not',
  files: {
    'doc/notes.md': '![inside png](pictures/chart.png)\n\n![inside svg](quill.svg)\n\n![outside](../outside.png)',
    'doc/pictures/chart.png': image('chart.png'), 'doc/quill.svg': image('quill.svg'), 'outside.png': image('chart.png'),
  },
  facts: () => {
    const img = (alt) => document.querySelector(`img[alt="${alt}"]`);
    const shown = (alt, type, width) => img(alt).src.startsWith(`data:${type};base64,`) && img(alt).naturalWidth === width;
    return {
      'the png': shown('inside png', 'image/png', 240),
      'the svg': shown('inside svg', 'image/svg+xml', 320),
      'not the outside one': img('outside').getAttribute('src') === '../outside.png' && img('outside').complete && img('outside').naturalWidth === 0,
    };
  },
}, {
  name: 'math is laid out, wide blocks scroll inside themselves, the watermark shows',
  markdown: `Pythagoras: $a^2 + b^2 = c^2$ in a sentence.\n\n$$\n\\sum_{k=1}^{n} k = \\frac{n(n+1)}{2}\n$$\n
\`\`\`\ncode ${wide}\n\`\`\`\n\n| a | ${wide} |\n|---|---|\n| 1 | b |\n
$$\n${Array.from({length: 60}, (_, i) => `x_{${i}}`).join(' + ')}\n$$`,
  facts: () => {
    const formulas = [...document.querySelectorAll('math')], [inline, display] = formulas;
    const [box, holder] = [display, display.closest('.math-display')].map((e) => e?.getBoundingClientRect());
    const scrolls = (selector) => ((e) => e.scrollWidth > e.clientWidth)([...document.querySelectorAll(selector)].at(-1));
    const marks = document.querySelectorAll('.md-watermark'), [mark, style] = [marks[0].getBoundingClientRect(), getComputedStyle(marks[0])];
    return {
      'MathML with a box': formulas.every((math) => math.namespaceURI === 'http://www.w3.org/1998/Math/MathML' &&
        math.getBoundingClientRect().width > 0 && math.getBoundingClientRect().height > 0),
      'the TeX source hidden': formulas.every((math) => math.querySelector('annotation').getClientRects().length === 0),
      'inline math in its paragraph': inline.closest('p') !== null && inline.closest('.math-display') === null,
      'display math centred': display.getAttribute('display') === 'block' && holder !== undefined &&
          Math.abs((box.left - holder.left) - (holder.right - box.right)) <= 2,
      'the page not scrolling sideways': document.documentElement.scrollWidth <= innerWidth,
      'code, table and math scrolling': scrolls('.md pre') && scrolls('.md table') && scrolls('.md .math-display'),
      'one watermark after the article': marks.length === 1 && marks[0].textContent === 'Rendered by Quillory' &&
          marks[0].previousElementSibling?.matches('article#content.md') === true,
      'a visible one': style.display !== 'none' && style.visibility === 'visible' && Number(style.opacity) > 0 &&
          style.color !== getComputedStyle(document.body).backgroundColor && mark.width > 0 && mark.height > 0 &&
          mark.left >= 0 && mark.right <= innerWidth && mark.top >= 0 && mark.bottom <= innerHeight,
    };
  },
}, {
  name: 'with --github the extras keep all of that, take the page\'s colours, and in-page links reach their targets',
  options: ['--github'],
  markdown: `# Top :tada:\n\n[Down](#down-here-tada-now) and a footnote[^1].\n\n> a plain quote\n
> [!WARNING]\n> <script>${ran('inAlert')}</script><img src="${origin}/alert.png" onerror="${ran('alertImage')}">\n
<span id="styled" style="color: rgb(255, 0, 0)">red?</span>\n\n\`\`\`js\nconst x = "<script>"; // :x:\n\`\`\`\n
${'filler\n\n'.repeat(60)}## Down here :tada: now\n\n${'filler\n\n'.repeat(60)}
[^1]: <style>.markdown-alert { border-left-color: rgb(0, 255, 0) !important; }</style> :x: <img src="${origin}/note.png">`,
  async act(page) {
    await page.click('a[href="#down-here-tada-now"]');
  },
  facts: () => {
    const style = (selector) => getComputedStyle(document.querySelector(selector));
    const top = document.getElementById('down-here-tada-now').getBoundingClientRect().top;
    return {
      'nothing ran': JSON.stringify(document.documentElement.dataset) === '{}',
      'the link reached its heading': location.hash === '#down-here-tada-now' && top >= 0 && top < 50,
      'the footnote reachable': document.querySelector('[data-footnote-ref]').hash === '#footnote-1' &&
          document.getElementById('footnote-1') !== null,
      'an alert in its own colour': !['rgb(0, 255, 0)', style('blockquote').borderLeftColor]
          .includes(style('.markdown-alert-warning').borderLeftColor),
      'highlighted code': style('.hljs-keyword').color !== style('.hljs-string').color &&
          style('.hljs-string').color !== style('.md pre').color,
      'emoji, in raw HTML too, and code left as it is': document.querySelectorAll('.emoji').length === 3 &&
          document.querySelector('.hljs-comment').textContent === '// :x:',
      'no style attribute': style('#styled').color !== 'rgb(255, 0, 0)',
    };
  },
}];

cases.forEach((c, n) => test(c.name, async () => {
  const files = Object.entries(c.files ?? {'doc.md': c.markdown}).map(([name, content]) => {
    const file = path.join(scratch, `${n}`, name);
    return mkdirSync(path.dirname(file), {recursive: true}), writeFileSync(file, content), file;
  });
  const pagePath = path.join(path.dirname(files[0]), 'page.html');  // beside it: a kept relative address resolves
  execFileSync(process.argv[2], [...c.options ?? [], '-o', pagePath, files[0]], {timeout: 30000});
  Object.assign(seen, {requests: [], connections: 0});
  const page = await context.newPage();
  await page.goto(pathToFileURL(pagePath).href, {waitUntil: 'load'});
  await c.act?.(page);
  // Fonts, a zero-second refresh, hints and frames start as the page loads; a second after fonts is ample.
  await page.evaluate(async () => void await document.fonts.ready);
  await page.waitForTimeout(1000);
  const facts = await page.evaluate(c.facts ?? (() => ({})));  // what reaches the server: every case
  assert.deepEqual(facts, Object.fromEntries(Object.keys(facts).map((fact) => [fact, true])));
  await page.close();
  assert.deepEqual(seen, {requests: [], connections: 0});
}));

test('the loopback server does see a direct request and a bare connection', async () => {
  await fetch(`${origin}/direct`);
  await new Promise((done) => net.connect(server.address().port, '127.0.0.1', () => setTimeout(done, 100)).end());
  assert.deepEqual(seen, {requests: ['/direct'], connections: 2});
});
