// Differential test: our conversion against node running the same library texts and the
// same renderer script in a fresh vm context per document. Any byte of difference is a
// fault in our engine binding or in how text crosses into and out of the engine.
//
//   node differential.mjs CONVERSION_HOST RESOURCE_DIR RENDERER_JS
import { spawnSync } from "node:child_process";
import { readFileSync, readdirSync } from "node:fs";
import { createRequire } from "node:module";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import vm from "node:vm";

const [host, resourceDir, rendererPath] = process.argv.slice(2);
if (!rendererPath) {
  console.error("usage: node differential.mjs CONVERSION_HOST RESOURCE_DIR RENDERER_JS");
  process.exit(2);
}
const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(import.meta.url);

const markedText = readFileSync(join(resourceDir, "marked.min.js"), "utf8");
const katexText = readFileSync(join(resourceDir, "katex.min.js"), "utf8");
const renderer = readFileSync(rendererPath, "utf8");

function escapedPre(text) {
  return "<pre>" + text.replaceAll("&", "&amp;").replaceAll("<", "&lt;").replaceAll(">", "&gt;") + "</pre>";
}

function evaluate(context, text) {
  try {
    return { value: vm.runInContext(text, context) };
  } catch {
    return null; // swallowed, as our exception handler does
  }
}

function reference(markdown) {
  const context = vm.createContext({});
  evaluate(context, markedText);
  const hasMath = markdown.includes("$");
  if (hasMath) evaluate(context, katexText);
  context.MD_SRC = markdown;
  context.HAS_MATH = hasMath;
  const result = evaluate(context, renderer);
  if (result) {
    const html = String(result.value);
    if (html !== "" && html !== "null") return html;
  }
  return escapedPre(markdown);
}

function corpus() {
  const documents = [];
  const corpusDir = join(here, "corpus");
  for (const name of readdirSync(corpusDir).sort()) {
    documents.push({ name, markdown: readFileSync(join(corpusDir, name), "utf8") });
  }
  for (const example of require("commonmark-spec").tests) {
    documents.push({
      name: `commonmark example ${example.number} (${example.section})`,
      markdown: example.markdown.replaceAll("\u2192", "\t"),
    });
  }
  return documents;
}

function frame(buffers) {
  return Buffer.concat(buffers.flatMap((b) => [Buffer.from(`${b.length}\n`), b]));
}

function unframe(bytes) {
  const items = [];
  let at = 0;
  while (at < bytes.length) {
    const newline = bytes.indexOf(10, at);
    const length = Number(bytes.subarray(at, newline).toString());
    items.push(bytes.subarray(newline + 1, newline + 1 + length));
    at = newline + 1 + length;
  }
  return items;
}

const documents = corpus();
const run = spawnSync(host, ["convert"], {
  input: frame(documents.map((d) => Buffer.from(d.markdown, "utf8"))),
  maxBuffer: 1 << 30,
});
if (run.status !== 0) {
  console.error(`${host} failed (status ${run.status}): ${run.stderr}`);
  process.exit(1);
}
const ours = unframe(run.stdout);
if (ours.length !== documents.length) {
  console.error(`expected ${documents.length} fragments, got ${ours.length}`);
  process.exit(1);
}

let failed = 0;
documents.forEach((document, i) => {
  const expected = Buffer.from(reference(document.markdown), "utf8");
  if (!expected.equals(ours[i])) {
    failed++;
    if (failed <= 10) {
      console.log(`DIFFERS: ${document.name}`);
      console.log(`  markdown: ${JSON.stringify(document.markdown).slice(0, 300)}`);
      console.log(`  node:     ${JSON.stringify(expected.toString()).slice(0, 300)}`);
      console.log(`  ours:     ${JSON.stringify(ours[i].toString()).slice(0, 300)}`);
    }
  }
});
console.log(`${documents.length - failed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
