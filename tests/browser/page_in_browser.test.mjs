// The rendered page in headless Chromium: nothing in a document runs a script, restyles
// the page or fetches anything, while local images, math and the watermark show. Every
// check reads the page from outside, through the driver, which the page's policy does not
// govern. Usage: node tests/browser/page_in_browser.test.mjs path/to/quillory
import assert from 'node:assert/strict';
import {readFile} from 'node:fs/promises';
import net from 'node:net';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {fileURLToPath} from 'node:url';

import {launchChromium} from './chromium.mjs';
import {startLoopbackServer} from './loopback_server.mjs';
import {renderMarkdown, renderTree} from './rendering.mjs';

const quillory = process.argv[2];
if (!quillory) throw new Error('usage: node page_in_browser.test.mjs path/to/quillory');
const examples = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../examples');

let browser;

// Runs in every page before its content: keeps the directive of each violation reported.
function recordViolations() {
  window.__violations = [];
  document.addEventListener('securitypolicyviolation', (event) => {
    window.__violations.push(event.effectiveDirective);
  });
}

before(async () => {
  browser = await launchChromium({viewport: {width: 900, height: 700}});
  await browser.context.addInitScript(recordViolations);
});

after(() => browser?.close());

// Opens a rendered page, hands it to check, and cleans up after it.
async function inBrowser(rendered, check) {
  const page = await browser.context.newPage();
  try {
    await page.goto(rendered.pageURL, {waitUntil: 'load'});
    await check(page);
  } finally {
    await page.close();
    await rendered.remove();
  }
}

describe('scripts', () => {
  test('script elements, event handlers and javascript: links have no effect', async () => {
    const markdown = [
      '<script>document.documentElement.dataset.scriptElement = "ran";</script>',
      '',
      '<img src="x" onerror="document.documentElement.dataset.onerror = \'ran\'">',
      '',
      '[a Markdown link](<javascript:void(document.documentElement.dataset.markdownLink=\'ran\')>)',
      '',
      '<a href="javascript:void(document.documentElement.dataset.htmlLink=\'ran\')">an HTML link</a>',
      '',
      '<p id="clickable" onclick="document.documentElement.dataset.onclick = \'ran\'">click</p>',
    ].join('\n');
    await inBrowser(await renderMarkdown(quillory, markdown), async (page) => {
      for (const link of await page.locator('a[href^="javascript:"]').all()) await link.click();
      await page.click('#clickable');
      // Five attempts: each either takes effect or is refused with a report (the timeout
      // only guards against a hang).
      await page.waitForFunction(() => {
        const effects = Object.keys(document.documentElement.dataset).length;
        const refusals = window.__violations.filter((d) => d.startsWith('script-src')).length;
        return effects + refusals >= 5;
      }, null, {timeout: 10000});
      const effects = await page.evaluate(() => ({...document.documentElement.dataset}));
      assert.deepEqual(effects, {});
    });
  });
});

describe('styles', () => {
  test('style attributes and style elements of the document do not apply', async () => {
    const markdown = [
      '<style>',
      '.md { background-color: rgb(0, 255, 0) !important; }',
      '.md-watermark { display: none !important; }',
      '#by-element { color: rgb(0, 0, 255) !important; }',
      '</style>',
      '',
      '<p id="by-element">styled by a style element</p>',
      '',
      '<p id="by-attribute" style="color: rgb(255, 0, 0); font-size: 40px">styled by an attribute</p>',
    ].join('\n');
    await inBrowser(await renderMarkdown(quillory, markdown), async (page) => {
      const styles = await page.evaluate(() => {
        const computed = (selector) => getComputedStyle(document.querySelector(selector));
        return {
          mdBackground: computed('.md').backgroundColor,
          watermarkDisplay: computed('.md-watermark').display,
          byElementColor: computed('#by-element').color,
          byAttributeColor: computed('#by-attribute').color,
          byAttributeSize: computed('#by-attribute').fontSize,
        };
      });
      assert.notEqual(styles.mdBackground, 'rgb(0, 255, 0)');
      assert.notEqual(styles.watermarkDisplay, 'none');
      assert.notEqual(styles.byElementColor, 'rgb(0, 0, 255)');
      assert.notEqual(styles.byAttributeColor, 'rgb(255, 0, 0)');
      assert.notEqual(styles.byAttributeSize, '40px');
    });
  });

  test('the page\'s own stylesheet applies, malformed math included', async () => {
    const markdown = 'Some text, then malformed math: $\\frac{$ and more text.\n';
    await inBrowser(await renderMarkdown(quillory, markdown), async (page) => {
      const styles = await page.evaluate(() => {
        const computed = (selector) => getComputedStyle(document.querySelector(selector));
        return {
          mdMaxWidth: computed('.md').maxWidth,
          mdPaddingLeft: parseFloat(computed('.md').paddingLeft),
          textSize: parseFloat(computed('.md p').fontSize),
          textColor: computed('.md p').color,
          watermarkSize: parseFloat(computed('.md-watermark').fontSize),
          errorColor: computed('.katex-error').color,
        };
      });
      // A browser's defaults leave the article unbounded and unpadded.
      assert.notEqual(styles.mdMaxWidth, 'none');
      assert.ok(styles.mdPaddingLeft > 0, `padding-left ${styles.mdPaddingLeft}`);
      assert.ok(styles.watermarkSize < styles.textSize, 'the watermark is set smaller');
      // KaTeX's own inline colour is refused; the stylesheet's colour marks the error.
      assert.notEqual(styles.errorColor, 'rgb(204, 0, 0)');
      assert.notEqual(styles.errorColor, styles.textColor);
    });
  });
});

describe('fetching', () => {
  let server;
  before(async () => {
    server = await startLoopbackServer();
  });
  after(() => server?.close());

  test('nothing the document names is requested: images, fonts, frames, CSS url()', async () => {
    const origin = server.origin;
    const markdown = [
      `![a Markdown image](${origin}/markdown-image.png)`,
      '',
      `<img src="${origin}/html-image.png" alt="an HTML image">`,
      `<img srcset="${origin}/srcset-image.png 2x" alt="a srcset image">`,
      `<video src="${origin}/video.mp4" poster="${origin}/poster.png"></video>`,
      `<iframe src="${origin}/frame.html"></iframe>`,
      `<object data="${origin}/object.html"></object>`,
      `<link rel="stylesheet" href="${origin}/sheet.css">`,
      `<script src="${origin}/script.js"></script>`,
      '',
      '<style>',
      `@font-face { font-family: "Remote"; src: url("${origin}/font.woff2") format("woff2"); }`,
      '.md p { font-family: "Remote", sans-serif; }',
      `body { background-image: url("${origin}/style-element.png"); }`,
      '</style>',
      '',
      `<p style="background-image: url('${origin}/style-attribute.png')">text in a remote font</p>`,
    ].join('\n');
    await inBrowser(await renderMarkdown(quillory, markdown), async (page) => {
      // The load event waits for images, frames, objects and stylesheets; fonts and
      // anything started by the first frames are waited for here.
      await page.evaluate(async () => {
        await document.fonts.ready;
        await new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
      });
    });
    assert.deepEqual(server.requests, []);

    // The server does record what reaches it.
    await fetch(`${origin}/control.png`);
    assert.deepEqual(server.requests, ['/control.png']);
  });

  test('nothing the document names is connected to: resource hints, frames', async () => {
    const origin = server.origin;
    const connectionsBefore = server.connections();
    const markdown = [
      `<link rel="preconnect" href="${origin}">`,
      `<link REL="icon PreConnect" href="${origin}">`,
      `<link rel="dns-prefetch" href="${origin}">`,
      `<iframe src="${origin}/frame.html"></iframe>`,
      `<iframe loading="lazy" src="${origin}/lazy-frame.html"></iframe>`,
      `<iframe srcdoc="<link rel=preconnect href=${origin}>"></iframe>`,
      `<div><svg><foreignObject><iframe src="${origin}/svg-frame.html"></iframe></foreignObject></svg></div>`,
    ].join('\n');
    await inBrowser(await renderMarkdown(quillory, markdown), async (page) => {
      // A connection for a hint or a frame starts as the page loads; a second is ample.
      await page.waitForTimeout(1000);
    });
    assert.equal(server.connections() - connectionsBefore, 0);

    // The server does count a bare connection.
    await new Promise((done) => net.connect(new URL(origin).port, '127.0.0.1', done).end());
    await new Promise((done) => setTimeout(done, 100));
    assert.equal(server.connections() - connectionsBefore, 1);
  });

  test('a meta refresh in the document does not navigate the page away', async () => {
    server.requests.length = 0;
    // Each line would hide the refresh after it from a scan that does not read markup as
    // a browser does: a quote inside a comment, a value, text elements, svg.
    const refresh = `<meta http-equiv="refresh" content="0; url=${server.origin}/refreshed">`;
    const markdown = [
      refresh,
      `<div><!-- <meta a=" -->${refresh}</div>`,
      `<div title='<meta a="'>${refresh}</div>`,
      `<textarea><meta a="</textarea>${refresh}`,
      `<div><svg><style><meta http-equiv="refresh" content="0; url=${server.origin}/svg"></style></svg></div>`,
      '',
      'text',
    ].join('\n');
    await inBrowser(await renderMarkdown(quillory, markdown), async (page) => {
      // A refresh of zero seconds starts at once; a second is ample to see it happen.
      await page.waitForTimeout(1000);
      assert.match(page.url(), /^file:/);
    });
    assert.deepEqual(server.requests, []);
  });
});

describe('local images', () => {
  test('an image below the document\'s folder shows; one outside it does not', async () => {
    const png = await readFile(path.join(examples, 'images/chart.png'));
    const svg = await readFile(path.join(examples, 'images/quill.svg'));
    const tree = {
      'doc/notes.md': [
        '![inside png](pictures/chart.png)',
        '',
        '![inside svg](quill.svg)',
        '',
        '![outside](../outside.png)',
      ].join('\n'),
      'doc/pictures/chart.png': png,
      'doc/quill.svg': svg,
      'outside.png': png,
    };
    await inBrowser(await renderTree(quillory, tree, 'doc/notes.md'), async (page) => {
      const images = await page.evaluate(
          () => Object.fromEntries([...document.images].map(
              (image) =>
                  [image.alt,
                   {
                     src: image.getAttribute('src'),
                     complete: image.complete,
                     width: image.naturalWidth
                   },
      ])));
      assert.match(images['inside png'].src, /^data:image\/png;base64,/);
      assert.equal(images['inside png'].width, 240);
      assert.match(images['inside svg'].src, /^data:image\/svg\+xml;base64,/);
      assert.equal(images['inside svg'].width, 320);
      assert.deepEqual(images['outside'], {src: '../outside.png', complete: true, width: 0});
    });
  });
});

describe('math', () => {
  test('MathML has a layout box, and display math sits centred in .math-display', async () => {
    const markdown = [
      'Pythagoras: $a^2 + b^2 = c^2$ in a sentence.',
      '',
      '$$',
      '\\sum_{k=1}^{n} k = \\frac{n(n+1)}{2}',
      '$$',
    ].join('\n');
    await inBrowser(await renderMarkdown(quillory, markdown), async (page) => {
      const formulas =
          await page.evaluate(() => [...document.querySelectorAll('math')].map((math) => {
            const box = math.getBoundingClientRect();
            const holder = math.closest('.math-display')?.getBoundingClientRect();
            return {
              mathML: math.namespaceURI === 'http://www.w3.org/1998/Math/MathML',
              display: math.getAttribute('display'),
              width: box.width,
              height: box.height,
              annotationShown: math.querySelector('annotation').getClientRects().length > 0,
              inDisplayBlock: holder !== undefined,
              inParagraph: math.closest('p') !== null,
              leftGap: holder && box.left - holder.left,
              rightGap: holder && holder.right - box.right,
            };
          }));
      assert.equal(formulas.length, 2);
      for (const formula of formulas) {
        assert.ok(formula.mathML);
        assert.ok(formula.width > 0 && formula.height > 0, JSON.stringify(formula));
        assert.equal(formula.annotationShown, false, 'the TeX source stays hidden');
      }
      const [inline, display] = formulas;
      assert.equal(inline.inParagraph, true);
      assert.equal(inline.inDisplayBlock, false);
      assert.equal(display.display, 'block');
      assert.equal(display.inDisplayBlock, true);
      assert.ok(Math.abs(display.leftGap - display.rightGap) <= 2, JSON.stringify(display));
    });
  });
});

describe('layout', () => {
  test('wide code, tables and math scroll inside their blocks, never the page', async () => {
    const wide = 'w'.repeat(400);
    const markdown = [
      '```',
      `code ${wide}`,
      '```',
      '',
      `| a | ${wide} |`,
      '|---|---|',
      `| 1 | ${wide} |`,
      '',
      '$$',
      Array.from({length: 60}, (_, i) => `x_{${i}}`).join(' + '),
      '$$',
    ].join('\n');
    await inBrowser(await renderMarkdown(quillory, markdown), async (page) => {
      const layout = await page.evaluate(() => {
        const scrolls = (selector) => {
          const element = document.querySelector(selector);
          return element.scrollWidth > element.clientWidth;
        };
        return {
          pageWidth: document.documentElement.scrollWidth,
          viewportWidth: window.innerWidth,
          preScrolls: scrolls('.md pre'),
          tableScrolls: scrolls('.md table'),
          mathScrolls: scrolls('.md .math-display'),
        };
      });
      assert.ok(layout.pageWidth <= layout.viewportWidth, JSON.stringify(layout));
      assert.deepEqual(
          [layout.preScrolls, layout.tableScrolls, layout.mathScrolls], [true, true, true]);
    });
  });
});

describe('watermark', () => {
  test('the watermark line follows the article and is visible', async () => {
    const markdown = '# Notes\n\nA short page.\n\n- one\n- two\n';
    await inBrowser(await renderMarkdown(quillory, markdown), async (page) => {
      const watermark = await page.evaluate(() => {
        const marks = document.querySelectorAll('.md-watermark');
        const mark = marks[0];
        const style = getComputedStyle(mark);
        const box = mark.getBoundingClientRect();
        return {
          count: marks.length,
          text: mark.textContent,
          follows: mark.previousElementSibling?.matches('article#content.md') ?? false,
          display: style.display,
          visibility: style.visibility,
          opacity: Number(style.opacity),
          color: style.color,
          background: getComputedStyle(document.body).backgroundColor,
          inViewport: box.width > 0 && box.height > 0 && box.left >= 0 && box.right <= innerWidth &&
              box.top >= 0 && box.bottom <= innerHeight,
        };
      });
      assert.equal(watermark.count, 1);
      assert.equal(watermark.text, 'Rendered by Quillory');
      assert.equal(watermark.follows, true);
      assert.notEqual(watermark.display, 'none');
      assert.equal(watermark.visibility, 'visible');
      assert.ok(watermark.opacity > 0);
      assert.notEqual(watermark.color, watermark.background);
      assert.equal(watermark.inViewport, true);
    });
  });
});
