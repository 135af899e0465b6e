// Our conversion against node running the same library texts and renderer in a fresh vm context per
// document, over the corpus and the CommonMark examples: any differing byte is a fault of our binding.
//   node differential.mjs CONVERSION_HOST RESOURCE_DIR RENDERER_JS
import {readFileSync, readdirSync} from 'node:fs';
import {createRequire} from 'node:module';
import vm from 'node:vm';
import {runHost} from './host.mjs';

const [host, resources, rendererPath] = process.argv.slice(2);
const read = (file) => readFileSync(file, 'utf8');
const [marked, katex, renderer] = [`${resources}/marked.min.js`, `${resources}/katex.min.js`, rendererPath].map(read);

function reference(markdown) {
  const context = vm.createContext({});
  const run = (text) => { try { return vm.runInContext(text, context); } catch { return null; } };  // as ours swallows
  run(marked), markdown.includes('$') && run(katex);
  Object.assign(context, {MD_SRC: markdown, HAS_MATH: markdown.includes('$')});
  const html = String(run(renderer));
  if (html !== '' && html !== 'null') return html;
  return `<pre>${markdown.replaceAll('&', '&amp;').replaceAll('<', '&lt;').replaceAll('>', '&gt;')}</pre>`;
}

const corpus = new URL('corpus/', import.meta.url);
const documents = [
  ...readdirSync(corpus).sort().map((name) => ({name, markdown: read(new URL(name, corpus))})),
  ...createRequire(import.meta.url)('commonmark-spec').tests.map((example) => ({
    name: `commonmark example ${example.number} (${example.section})`,
    markdown: example.markdown.replaceAll('\u2192', '\t'),
  })),
];
const ours = runHost(host, 'convert', documents.map((document) => document.markdown));
const failed = [];
documents.forEach((document, i) => {
  const node = reference(document.markdown);
  if (Buffer.from(node).equals(ours[i]) || failed.push(document.name) > 10) return;
  console.log(`DIFFERS: ${document.name}`);
  for (const [what, text] of Object.entries({markdown: document.markdown, node, ours: `${ours[i]}`})) {
    console.log(`  ${what}: ${JSON.stringify(text).slice(0, 300)}`);
  }
});
console.log(`${documents.length - failed.length} passed, ${failed.length} failed`);
process.exit(failed.length === 0 ? 0 : 1);
