// disarmMarkup against parse5: known and generated fragments go through the real C++ function
// into the real page, parsed with scripting on (Chromium) and off (WebKit without JavaScript). No
// parse may hold an armed element; where the disarm reads markup exactly (no svg, math, select,
// noscript), the disarmed page must parse to the original with exactly those attributes renamed.
//   node markup_disarm.mjs CONVERSION_HOST QUILLORY [FRAGMENTS [SEED]]
import {execFileSync} from 'node:child_process';
import {mkdtempSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {parse, serialize} from 'parse5';
import {runHost} from './host.mjs';

const [host, quillory, fragmentArg = '500', seedArg = '20240611'] = process.argv.slice(2);

// The page around a fragment, from the real program: a marker document split at its text.
const dir = mkdtempSync(join(tmpdir(), 'quillory-disarm-'));
writeFileSync(join(dir, 'doc.md'), 'FRAGMENT-GOES-HERE\n');
execFileSync(quillory, ['-o', join(dir, 'page.html'), join(dir, 'doc.md')]);
const [before, after] = readFileSync(join(dir, 'page.html'), 'utf8').split('<p>FRAGMENT-GOES-HERE</p>\n');
rmSync(dir, {recursive: true, force: true});

// Known traps: duplicates, values and text like tags, noscript both ways, svg and math without
// text elements, tags the page's markup ends, hints among rel tokens or behind a reference.
const known = ['<META\nHTTP-EQUIV=refresh content=0;url=//x>', "<meta/http-equiv='refresh'/>",
  '<meta http-equiv=a HTTP-EQUIV=refresh>', '<meta a=b" http-equiv=r>', '<p title="<meta ">x</p><meta http-equiv=r>',
  "<textarea><meta a='</textarea><meta http-equiv=r>'",
  '<noscript><meta http-equiv=a><!--</noscript><meta http-equiv=b>--></noscript>',
  '<script><!--<script></script><meta http-equiv=a></script>--></script><meta http-equiv=b>',
  '<math><title><meta http-equiv=a></title></math>', '<meta content=x http-equiv=r', '<meta content="x http-equiv=r',
  '<link rel=stylesheet href=a><link REL="icon PreConnect"><link rel=dns-prefetch>', '<link rel=pre&#99;onnect rel=a>',
  '<iframe src=a srcdoc=b title=c></iframe>', '<metadata http-equiv=r><p>http-equiv=r</p><meta name=http-equiv>'];
// Each svg start tag makes each text element a guess with two readings: unmerged, this takes hours.
const linear = '<svg><style><![CDATA[<script><!--<title><noscript>]]></noscript></title>--></script>'.repeat(40000);

let seed = Number(seedArg) >>> 0;  // a linear congruential generator; its high bits serve
const random = () => (seed = (Math.imul(seed, 1664525) + 1013904223) >>> 0) / 4294967296;
const pick = (items) => items[Math.floor(random() * items.length)];
const below = (n) => Math.floor(random() * n);
const randomCase = (text) => [...text].map((c) => (random() < 0.3 ? c.toUpperCase() : c)).join('');
const space = () => pick([' ', '\n', '\t', '/', ' / ', '\r\n']);
const refresh = '<meta http-equiv="refresh" content="0;url=http://127.0.0.1/">';

const value = (text = pick(['refresh', '0;url=http://127.0.0.1/', 'a>b', '<meta http-equiv=x>', '<meta a="', '"',
  "'", '', '-->', '</style>', '</script>', '<!--', 'preconnect', 'x y']), quote = pick(['"', "'", ''])) =>
  quote ? quote + text.replaceAll(quote, '') + quote : text.replace(/[\s>]/g, '') || 'v';
// Attributes of an element, names that matter to the disarm among them.
const attributes = (names) => Array.from({length: below(4)}, (_, __, name = random() < 0.6 ? randomCase(pick(names))
  : pick(['content', 'title', 'a', '=b', 'c"d'])) => space() + name + (random() < 0.8 ? pick(['=', ' = ', '=']) + value() : '')).join('');
const relValue = (tokens = Array.from({length: 1 + below(2)}, () => randomCase(pick(['stylesheet', 'preconnect',
  'dns-prefetch', 'icon', 'prefetch', 'preconnectx'])))) => `"${pick(['', ' '])}${tokens.join(pick([' ', '\t', '\n']))}"`;
const textElements = ['title', 'textarea', 'style', 'xmp', 'iframe', 'noembed', 'noframes', 'script', 'noscript', 'plaintext'];
const textStart = () => `<${randomCase(pick(textElements))}${random() < 0.3 ? attributes(['a', 'src']) : ''}>`;
const textEnd = () => `</${randomCase(pick(textElements))}${pick(['>', ' >', '/>', ' a="<meta">', 's>', '1>', ''])}`;
const meta = () => `<${randomCase('meta')}${attributes(['http-equiv'])}${space()}>`;

// Pieces of markup; a fragment strings some together. Weighted by repetition.
const pieces = [meta, meta, () => refresh,
  () => `<link${attributes(['href'])} ${randomCase('rel')}=${relValue()}${attributes(['rel'])}>`,
  () => `<iframe${attributes(['src', 'srcdoc', 'title'])}>`,
  () => `<${pick(['p', 'a', 'div', 'span', 'img', 'b'])}${attributes(['title', 'http-equiv', 'src'])}>`,
  () => `</${pick(['p', 'a', 'div', 'span', 'b', 'meta'])}${attributes(['x', 'http-equiv'])}>`,
  () => pick(['<!--', '-->', '--!>', '<!-->', '<!--->', '<!---->', '<!-- x --', '--', '-', '<!--<!-->']),
  () => pick(['<?x ">', '</ x>', '</>', '<!x>', '<!DOCTYPE x "a>b">', '<!doctype', '<![CDATA[', ']]>',
    '<![CDATA[ x ]]>', '<![CDATA[><a title="]]>', "<![CDATA[><p title=']]>", '</', '<']),
  textStart, textStart, textEnd, textEnd,
  () => pick(['<script>', '<script>', '</script>', '<!--', '-->', '<script ', '</script ']),
  () => pick(['<svg>', '</svg>', '<math>', '</math>', '<foreignObject>', '<desc>', '<mi>', '<mtext>',
    '<annotation-xml encoding="text/html">', '<p>', '<div>', '<select>', '</select>', '<table>',
    '<template>', '</template>', '<textarea>', '<option>']),
  () => pick(['"', "'", '>', '<', '=', '/', ' ', '\n', 'text', '&amp;', '\u00e9', '<meta a="', "<meta a='", '<meta ']),
  () => pick(['"', "'", '>', 'text']),
];

// A refresh at the end stays armed if anything put the disarm out of step; a cut end leaves a tag
// open for the page's markup to finish.
const fragment = () => Array.from({length: 1 + below(14)}, () => pick(pieces)()).join('') +
  (random() < 0.5 ? refresh : '') + (random() < 0.1 ? pick(['<meta http-equiv=refresh content="0;url=http://127.0.0.1/"',
    '<meta content=x HTTP-EQUIV=refresh ', '<meta http-equiv=refresh content=0', '<p title="<meta http-equiv=refresh>']) : '');

// What the disarm renames on a parsed element.
function armed(element) {
  if (element.namespaceURI !== 'http://www.w3.org/1999/xhtml') return [];
  const hint = (rel) => rel.split(/[\t\n\f\r ]+/).some((t) => ['preconnect', 'dns-prefetch'].includes(t.toLowerCase()));
  const names = {meta: ['http-equiv'], iframe: ['src', 'srcdoc'], link: ['rel']}[element.tagName] ?? [];
  return element.attrs.filter((a) => names.includes(a.name) && (a.name !== 'rel' || hint(a.value))).map((a) => a.name);
}

// The elements of a parsed page that its fragment made, template contents included.
function* elements(node) {
  for (const child of [...(node.childNodes ?? []), ...(node.content?.childNodes ?? [])]) {
    if (child.tagName && !(child.sourceCodeLocation?.startOffset < before.length)) yield child;
    yield* elements(child);
  }
}

const fragments = [...known, ...Array.from({length: Number(fragmentArg)}, fragment)];
const disarmed = runHost(host, 'disarm', [...fragments, linear + refresh]).map(String);
const failures = [];
if (disarmed.pop() !== linear + refresh.replace('http-equiv', 'data-http-equiv')) failures.push(
    {original: 'svg text elements 40000 times', problem: 'the refresh after them is armed'});
fragments.forEach((original, i) => {
  const approximate = /<(svg|math|select|noscript)/i.test(original);
  for (const scriptingEnabled of [true, false]) {
    const options = {scriptingEnabled, sourceCodeLocationInfo: true};
    const fail = (problem) => failures.push({original, disarmed: disarmed[i], scriptingEnabled, problem});
    const parsed = parse(before + disarmed[i] + after, options);
    for (const e of elements(parsed)) if (armed(e).length > 0) fail(`a <${e.tagName}> keeps ${armed(e).join(', ')}`);
    if (approximate) continue;
    const expected = parse(before + original + after, options);
    for (const e of elements(expected)) for (const name of armed(e)) e.attrs.find((a) => a.name === name).name = `data-${name}`;
    if (serialize(expected) !== serialize(parsed)) fail('more changed than the armed attributes');
  }
});

for (const f of failures.slice(0, 8)) console.log(`FAILS (scripting ${f.scriptingEnabled ? 'on' : 'off'}): ${
  f.problem}\n  fragment: ${JSON.stringify(f.original)}\n  disarmed: ${JSON.stringify(f.disarmed)}`);
const failed = new Set(failures.map((f) => f.original)).size;
console.log(`${fragments.length} fragments (seed ${seedArg}, ${known.length} known), ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
