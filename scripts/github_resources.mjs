#!/usr/bin/env node
// Build step: writes the emoji table of the GitHub extras (GitHub's own names, from
// gemoji), highlight.js's further grammars and a licence file for each extras package that ships none of its own.
//   node scripts/github_resources.mjs RESOURCE_DIR
import {readFileSync, writeFileSync} from 'node:fs';
import {gemoji} from 'gemoji';

const [outDir] = process.argv.slice(2);
const modules = new URL('../node_modules/', import.meta.url);

const table = {};
for (const {emoji, names} of gemoji) for (const name of names) table[name] = emoji;
writeFileSync(`${outDir}/github-emoji.js`,
              `// GitHub's emoji names (gemoji), for marked-emoji.\nvar githubEmoji = ${JSON.stringify(table)};\n`);

// Grammars beyond highlight.js's common subset for languages READMEs use, and aliases where
// a grammar of its own is not shipped: jinja is django's alias already; a Vue file is HTML
// with script and style inside; fish is a shell read close enough by bash; flow's type
// annotations are TypeScript's.
const languages = ['django', 'handlebars', 'dockerfile'].map((name) =>
  readFileSync(new URL(`@highlightjs/cdn-assets/languages/${name}.min.js`, modules), 'utf8'));
const aliases = {vue: 'xml', fish: 'bash', flow: 'typescript'};
writeFileSync(`${outDir}/highlight-languages.js`, `// highlight.js grammars and aliases beyond its common subset.
${languages.join('\n')}
for (const [alias, languageName] of Object.entries(${JSON.stringify(aliases)})) hljs.registerAliases(alias, {languageName});
`);

// marked-alert and marked-footnote declare the MIT licence in package.json but ship no text.
for (const name of ['marked-alert', 'marked-footnote']) {
  const {version, license, author} = JSON.parse(readFileSync(new URL(`${name}/package.json`, modules)));
  if (license !== 'MIT') throw new Error(`${name} is no longer MIT-licensed: ${license}`);
  writeFileSync(`${outDir}/${name}.LICENSE`, `${name} ${version}: MIT License

Copyright (c) ${author}

Permission is hereby granted, free of charge, to any person obtaining a copy
of this software and associated documentation files (the "Software"), to deal
in the Software without restriction, including without limitation the rights
to use, copy, modify, merge, publish, distribute, sublicense, and/or sell
copies of the Software, and to permit persons to whom the Software is
furnished to do so, subject to the following conditions:

The above copyright notice and this permission notice shall be included in all
copies or substantial portions of the Software.

THE SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR
IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY,
FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE
AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER
LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM,
OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE
SOFTWARE.
`);
}
