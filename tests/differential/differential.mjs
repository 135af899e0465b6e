// Our conversion against node running the same library texts and renderer in a fresh vm context per
// document, over the corpus and the CommonMark examples, without and with the GitHub extras: any
// differing byte is a fault of our binding. Node evaluates every extras library for every document,
// so a library we leave out for a text must be one that would have changed nothing. In the corpus's
// github-* documents every in-page link must reach an id of its page.
//   node differential.mjs CONVERSION_HOST RESOURCE_DIR RENDERER_JS
import {readFileSync, readdirSync} from 'node:fs';
import {createRequire} from 'node:module';
import vm from 'node:vm';
import {runHost} from './host.mjs';

const [host, resources, rendererPath] = process.argv.slice(2);
const read = (file) => readFileSync(file, 'utf8');
const library = (name) => read(`${resources}/${name}.js`);
const [marked, katex, renderer] = [library('marked.min'), library('katex.min'), read(rendererPath)];
const extras = ['marked-gfm-heading-id', 'marked-alert', 'marked-footnote', 'marked-highlight', 'highlight.min',
                'highlight-languages',
                'marked-emoji', 'github-emoji', 'js-yaml'].map(library);

function reference(markdown, github) {
  const context = vm.createContext({});
  const run = (text) => { try { return vm.runInContext(text, context); } catch { return null; } };  // as ours swallows
  const math = markdown.includes('$') || (github && /```math|~~~math/.test(markdown));
  run(marked), math && run(katex);
  if (github) extras.forEach(run);
  Object.assign(context, {MD_SRC: markdown, HAS_MATH: math, GITHUB: github});
  const html = String(run(renderer));
  if (html !== '' && html !== 'null') return html;
  return `<pre>${markdown.replaceAll('&', '&amp;').replaceAll('<', '&lt;').replaceAll('>', '&gt;')}</pre>`;
}

// The in-page links of `html` that reach no id of it, and its ids that the page's own already take.
function danglingLinks(html) {
  const ids = new Set([...html.matchAll(/ id="([^"]*)"/g)].map((match) => match[1]));
  return [...html.matchAll(/ href="#([^"]*)"/g)].map((match) => decodeURIComponent(match[1]))
      .filter((target) => !ids.has(target)).concat(['content', 'md', 'md-watermark'].filter((id) => ids.has(id)));
}

const corpus = new URL('corpus/', import.meta.url);
const documents = [
  ...readdirSync(corpus).sort().map((name) => ({name, markdown: read(new URL(name, corpus))})),
  ...createRequire(import.meta.url)('commonmark-spec').tests.map((example) => ({
    name: `commonmark example ${example.number} (${example.section})`,
    markdown: example.markdown.replaceAll('\u2192', '\t'),
  })),
];
const failed = [];
for (const [mode, github] of [['convert', false], ['convert-github', true]]) {
  const ours = runHost(host, mode, documents.map((document) => document.markdown));
  documents.forEach((document, i) => {
    const node = reference(document.markdown, github);
    const dangling = github && document.name.startsWith('github-') ? danglingLinks(node) : [];
    if (dangling.length) console.log(`DANGLING LINKS in ${document.name}: ${dangling.join(', ')}`);
    if ((Buffer.from(node).equals(ours[i]) && !dangling.length) || failed.push(`${mode} ${document.name}`) > 10) return;
    console.log(`DIFFERS (${mode}): ${document.name}`);
    for (const [what, text] of Object.entries({markdown: document.markdown, node, ours: `${ours[i]}`})) {
      console.log(`  ${what}: ${JSON.stringify(text).slice(0, 300)}`);
    }
  });
}
console.log(`${2 * documents.length - failed.length} passed, ${failed.length} failed`);
process.exit(failed.length === 0 ? 0 : 1);
