// Writes the benchmark documents that are generated rather than shipped: a 20 KB README
// and a 4 MB document, both grown from bench/corpus/readme.md with numbered sections.
//
//   node bench/make_corpus.mjs OUT_DIR
import { mkdirSync, readFileSync, writeFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const outDir = process.argv[2];
const base = readFileSync(join(dirname(fileURLToPath(import.meta.url)), "corpus", "readme.md"), "utf8");

function grown(targetBytes) {
  let text = "";
  for (let i = 1; Buffer.byteLength(text) + Buffer.byteLength(base) <= targetBytes; i++) {
    text += base.replace(/^# Inkwell/m, `# Part ${i}`) + "\n";
  }
  return text;
}

mkdirSync(outDir, { recursive: true });
writeFileSync(join(outDir, "readme-20k.md"), grown(20_000));
writeFileSync(join(outDir, "large-4mb.md"), grown(4_000_000));
