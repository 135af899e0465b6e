// Writes a small document tree to a fresh temporary directory and renders one Markdown
// file of it with the quillory binary into a page beside it.
import {execFile} from 'node:child_process';
import {mkdir, mkdtemp, rm, writeFile} from 'node:fs/promises';
import {tmpdir} from 'node:os';
import path from 'node:path';
import {pathToFileURL} from 'node:url';
import {promisify} from 'node:util';

const run = promisify(execFile);

// files maps relative paths to contents (string or Buffer); markdownPath names the file
// to render. The page lands in the Markdown file's directory, so a relative path that
// the page keeps would resolve against the real files if anything let it load.
// Resolves to { dir, pageURL, remove() }.
export async function renderTree(quillory, files, markdownPath) {
  const dir = await mkdtemp(path.join(tmpdir(), 'quillory-page-'));
  for (const [relative, content] of Object.entries(files)) {
    const target = path.join(dir, relative);
    await mkdir(path.dirname(target), {recursive: true});
    await writeFile(target, content);
  }
  const source = path.join(dir, markdownPath);
  const pagePath = path.join(path.dirname(source), 'page.html');
  await run(quillory, ['-o', pagePath, source], {timeout: 30000});
  return {
    dir,
    pageURL: pathToFileURL(pagePath).href,
    remove: () => rm(dir, {recursive: true, force: true}),
  };
}

// The same for a lone Markdown text.
export function renderMarkdown(quillory, markdown) {
  return renderTree(quillory, {'doc.md': markdown}, 'doc.md');
}
