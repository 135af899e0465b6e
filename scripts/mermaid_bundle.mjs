#!/usr/bin/env node
// Build step: bundles beautiful-mermaid (an ES module, with ELK for layout) into one classic
// script that defines the global beautifulMermaid, for a bare script context without DOM,
// timers or Buffer; and copies the licences of everything the bundle holds.
//   node scripts/mermaid_bundle.mjs RESOURCE_DIR
import {copyFileSync, readFileSync} from 'node:fs';
import {fileURLToPath} from 'node:url';
import {build} from 'esbuild';

const [outDir] = process.argv.slice(2);
const modules = new URL('../node_modules/', import.meta.url);
const beautifulMermaid = new URL('beautiful-mermaid/', modules);

// What the bundled code expects of its host, given to it alone, not to the page's other scripts.
const environment = `
// entities decodes its tables with atob (or Buffer).
const digits = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';
export function atob(text) {
  let bits = 0, count = 0, bytes = '';
  for (const c of text.replace(/=+$/, '')) {
    bits = ((bits << 6) | digits.indexOf(c)) & 0xffffff;
    count += 6;
    if (count >= 8) bytes += String.fromCharCode((bits >> (count -= 8)) & 255);
  }
  return bytes;
}
// ELK names console's methods (without calling them where all goes well); nothing is shown.
const quiet = () => {};
export const console = {log: quiet, warn: quiet, error: quiet, group: quiet, groupEnd: quiet};
// ELK defers its messages with setTimeout; beautiful-mermaid takes the ones it needs by
// replacing globalThis.setTimeout for a moment. Without an event loop the others never run.
export function setTimeout(callback, delay) {
  return typeof globalThis.setTimeout === 'function' ? globalThis.setTimeout(callback, delay) : 0;
}
`;

await build({
  stdin: {contents: "export {renderMermaidSVG} from 'beautiful-mermaid';", resolveDir: fileURLToPath(modules)},
  bundle: true,
  format: 'iife',
  globalName: 'beautifulMermaid',
  minify: true,
  target: 'es2020',
  // ELK finds its global object through `global`; without one it would get an empty object.
  define: {global: 'globalThis'},
  inject: ['mermaid-environment'],
  plugins: [{
    name: 'mermaid-environment',
    setup(build) {
      build.onResolve({filter: /^mermaid-environment$/}, () => ({path: 'environment', namespace: 'mermaid'}));
      build.onLoad({filter: /.*/, namespace: 'mermaid'}, () => ({contents: environment, loader: 'js'}));
      // beautiful-mermaid reads a flowchart's node id as [\w-]+, which takes the "--" of an arrow
      // written without spaces ("A-->B") into the id; mermaid's own ids end in a word character.
      build.onLoad({filter: /beautiful-mermaid[\\/]dist[\\/]index\.js$/}, ({path}) => {
        const source = readFileSync(path, 'utf8');
        const contents = source.replaceAll('/^([\\w-]+)', '/^(\\w+(?:-\\w+)*)');
        if (contents === source) throw new Error('beautiful-mermaid reads node ids anew: review this patch');
        return {contents, loader: 'js'};
      });
    },
  }],
  legalComments: 'none',
  logLevel: 'warning',
  outfile: `${outDir}/beautiful-mermaid.js`,
});

for (const [from, to] of [
  [new URL('LICENSE', beautifulMermaid), 'beautiful-mermaid.LICENSE'],
  [new URL('elkjs/LICENSE.md', modules), 'elkjs.LICENSE'],
  [new URL('node_modules/entities/LICENSE', beautifulMermaid), 'entities.LICENSE'],
]) copyFileSync(from, `${outDir}/${to}`);
