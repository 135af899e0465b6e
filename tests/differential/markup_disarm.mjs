// Differential test of disarmMarkup against parse5, a conforming HTML parser: generated
// fragments full of what puts a scan out of step go through the real C++ function, into
// the real page, and are parsed with scripting on (Chromium) and off (WebKit without
// JavaScript). No parse of a disarmed page may hold an armed element, and where the
// disarm reads the markup exactly (no svg, math, select or noscript), the disarmed page
// must parse to the original one with exactly those attributes renamed.
//
//   node markup_disarm.mjs CONVERSION_HOST QUILLORY [FRAGMENTS [SEED]]
import {spawnSync} from 'node:child_process';
import {mkdtempSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {parse, serialize} from 'parse5';

const [host, quillory, fragmentArg = '500', seedArg = '20240611'] = process.argv.slice(2);
if (!quillory) {
  console.error('usage: node markup_disarm.mjs CONVERSION_HOST QUILLORY [FRAGMENTS [SEED]]');
  process.exit(2);
}
const HTML = 'http://www.w3.org/1999/xhtml';

// The page around a fragment, from the real program: a marker document split at its text.
function pageTemplate() {
  const dir = mkdtempSync(join(tmpdir(), 'quillory-disarm-'));
  try {
    writeFileSync(join(dir, 'doc.md'), 'FRAGMENT-GOES-HERE\n');
    const run = spawnSync(quillory, ['-o', join(dir, 'page.html'), join(dir, 'doc.md')]);
    if (run.status !== 0) throw new Error(`${quillory} failed: ${run.stderr}`);
    const [before, after] = readFileSync(join(dir, 'page.html'), 'utf8').split('<p>FRAGMENT-GOES-HERE</p>\n');
    return {before, after};
  } finally {
    rmSync(dir, {recursive: true, force: true});
  }
}

// A small deterministic generator (mulberry32).
let seed = Number(seedArg) >>> 0;
function random() {
  seed = (seed + 0x6d2b79f5) >>> 0;
  let t = seed;
  t = Math.imul(t ^ (t >>> 15), t | 1);
  t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
}
const pick = (items) => items[Math.floor(random() * items.length)];
const randomCase = (text) => [...text].map((c) => (random() < 0.3 ? c.toUpperCase() : c)).join('');
const space = () => pick([' ', '\n', '\t', '/', ' / ', '\r\n']);

function value() {
  const text = pick(['refresh', '0;url=http://127.0.0.1/', 'a>b', '<meta http-equiv=x>', '<meta a="', '"', "'", '',
    '-->', '</style>', '</script>', '<!--', 'preconnect', 'x y']);
  const quote = pick(['"', "'", '']);
  if (quote === '') return text.replace(/[\s>]/g, '') || 'v';
  return quote + text.replaceAll(quote, '') + quote;
}

// Attributes of an element, with names that matter to the disarm among them.
function attributes(names) {
  let out = '';
  const count = Math.floor(random() * 4);
  for (let i = 0; i < count; ++i) {
    const name = random() < 0.6 ? randomCase(pick(names)) : pick(['content', 'title', 'a', '=b', 'c"d']);
    out += space() + name + (random() < 0.8 ? pick(['=', ' = ', '=']) + value() : '');
  }
  return out;
}

function relValue() {
  const tokens = Array.from({length: 1 + Math.floor(random() * 2)},
      () => randomCase(pick(['stylesheet', 'preconnect', 'dns-prefetch', 'icon', 'prefetch', 'preconnectx'])));
  return `"${pick(['', ' '])}${tokens.join(pick([' ', '\t', '\n']))}"`;
}

const textElements = ['title', 'textarea', 'style', 'xmp', 'iframe', 'noembed', 'noframes', 'script',
  'noscript', 'plaintext'];

// Pieces of markup; a fragment strings some together. Weighted by repetition.
const pieces = [
  () => `<${randomCase('meta')}${attributes(['http-equiv'])}${space()}>`,
  () => `<${randomCase('meta')}${attributes(['http-equiv'])}${space()}>`,
  () => `<meta http-equiv="refresh" content="0;url=http://127.0.0.1/">`,
  () => `<link${attributes(['href'])} ${randomCase('rel')}=${relValue()}${attributes(['rel'])}>`,
  () => `<iframe${attributes(['src', 'srcdoc', 'title'])}>`,
  () => `<${pick(['p', 'a', 'div', 'span', 'img', 'b'])}${attributes(['title', 'http-equiv', 'src'])}>`,
  () => `</${pick(['p', 'a', 'div', 'span', 'b', 'meta'])}${attributes(['x', 'http-equiv'])}>`,
  () => pick(['<!--', '-->', '--!>', '<!-->', '<!--->', '<!---->', '<!-- x --', '--', '-', '<!--<!-->']),
  () => pick(['<?x ">', '</ x>', '</>', '<!x>', '<!DOCTYPE x "a>b">', '<!doctype', '<![CDATA[', ']]>',
    '<![CDATA[ x ]]>', '<![CDATA[><a title="]]>', "<![CDATA[><p title=']]>", '</', '<']),
  () => `<${randomCase(pick(textElements))}${random() < 0.3 ? attributes(['a', 'src']) : ''}>`,
  () => `<${randomCase(pick(textElements))}${random() < 0.3 ? attributes(['a', 'src']) : ''}>`,
  () => `</${randomCase(pick(textElements))}${pick(['>', ' >', '/>', ' a="<meta">', 's>', '1>', ''])}`,
  () => `</${randomCase(pick(textElements))}${pick(['>', ' >', '/>', ' a="<meta">', 's>', '1>', ''])}`,
  () => pick(['<script>', '<script>', '</script>', '<!--', '-->', '<script ', '</script ']),
  () => pick(['<svg>', '</svg>', '<math>', '</math>', '<foreignObject>', '<desc>', '<mi>', '<mtext>',
    '<annotation-xml encoding="text/html">', '<p>', '<div>', '<select>', '</select>', '<table>',
    '<template>', '</template>', '<textarea>', '<option>']),
  () => pick(['"', "'", '>', '<', '=', '/', ' ', '\n', 'text', '&amp;', '\u00e9', '<meta a="', "<meta a='", '<meta ']),
  () => pick(['"', "'", '>', 'text']),
];

// Ends that leave a tag open for the page's own markup to finish.
const cutEnds = [
  '<meta http-equiv=refresh content="0;url=http://127.0.0.1/"',
  '<meta content=x HTTP-EQUIV=refresh ',
  '<meta http-equiv=refresh content=0',
  '<p title="<meta http-equiv=refresh>',
];

function fragment() {
  const count = 1 + Math.floor(random() * 14);
  let out = '';
  for (let i = 0; i < count; ++i) out += pick(pieces)();
  // A refresh at the end stays armed if anything before put the disarm out of step.
  if (random() < 0.5) out += '<meta http-equiv="refresh" content="0;url=http://127.0.0.1/">';
  if (random() < 0.1) out += pick(cutEnds);
  return out;
}

// What the disarm renames, on an element the parser created from the original page.
function hasHint(rel) {
  return rel.split(/[\t\n\f\r ]+/).some((t) => ['preconnect', 'dns-prefetch'].includes(t.toLowerCase()));
}
function armed(element) {
  if (element.namespaceURI !== HTML) return [];
  const names = element.attrs.map((a) => a.name);
  switch (element.tagName) {
    case 'meta':
      return names.filter((n) => n === 'http-equiv');
    case 'iframe':
      return names.filter((n) => n === 'src' || n === 'srcdoc');
    case 'link':
      return element.attrs.filter((a) => a.name === 'rel' && hasHint(a.value)).map((a) => a.name);
    default:
      return [];
  }
}

// The elements of a parsed page that its fragment made, template contents included.
function* elements(node, fragmentStart) {
  for (const child of [...(node.childNodes ?? []), ...(node.content?.childNodes ?? [])]) {
    if (child.tagName && !(child.sourceCodeLocation?.startOffset < fragmentStart)) yield child;
    yield* elements(child, fragmentStart);
  }
}

const template = pageTemplate();
const count = Number(fragmentArg);
const fragments = Array.from({length: count}, fragment);
const input = Buffer.concat(fragments.flatMap((f) => {
  const bytes = Buffer.from(f, 'utf8');
  return [Buffer.from(`${bytes.length}\n`), bytes];
}));
const run = spawnSync(host, ['disarm'], {input, maxBuffer: 1 << 30});
if (run.status !== 0) {
  console.error(`${host} failed (status ${run.status}): ${run.stderr}`);
  process.exit(1);
}
const disarmed = [];
for (let at = 0; at < run.stdout.length;) {
  const newline = run.stdout.indexOf(10, at);
  const length = Number(run.stdout.subarray(at, newline).toString());
  disarmed.push(run.stdout.subarray(newline + 1, newline + 1 + length).toString('utf8'));
  at = newline + 1 + length;
}

const failures = [];
let exact = 0;
fragments.forEach((original, i) => {
  const page = (body) => template.before + body + template.after;
  const approximate = /<(svg|math|select|noscript)/i.test(original);
  if (!approximate) ++exact;
  for (const scriptingEnabled of [true, false]) {
    const options = {scriptingEnabled, sourceCodeLocationInfo: true};
    const after = parse(page(disarmed[i]), options);
    for (const element of elements(after, template.before.length)) {
      if (armed(element).length > 0) {
        failures.push({original, disarmed: disarmed[i], scriptingEnabled,
          problem: `a <${element.tagName}> keeps ${armed(element).join(', ')}`});
      }
    }
    if (approximate) continue;
    const before = parse(page(original), options);
    for (const element of elements(before, template.before.length)) {
      for (const name of armed(element)) element.attrs.find((a) => a.name === name).name = `data-${name}`;
    }
    if (serialize(before) !== serialize(after)) {
      failures.push({original, disarmed: disarmed[i], scriptingEnabled,
        problem: 'more changed than the armed attributes of the elements the parser made'});
    }
  }
});

for (const failure of failures.slice(0, 8)) {
  console.log(`FAILS (scripting ${failure.scriptingEnabled ? 'on' : 'off'}): ${failure.problem}`);
  console.log(`  fragment: ${JSON.stringify(failure.original)}`);
  console.log(`  disarmed: ${JSON.stringify(failure.disarmed)}`);
}
const failed = new Set(failures.map((f) => f.original)).size;
const tally = {};
for (const failure of failures) tally[failure.problem] = (tally[failure.problem] ?? 0) + 1;
console.log(`${count} fragments (seed ${seedArg}, ${exact} checked exactly), ${failed} failed`, failed ? tally : '');
process.exit(failed === 0 ? 0 : 1);
