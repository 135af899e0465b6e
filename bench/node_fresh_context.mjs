// node's equivalent of one in-process conversion: a fresh vm context, the marked text
// (and the KaTeX text for documents with "$") evaluated anew, the renderer run. Prints
// the median time per conversion after one warm-up conversion.
//
//   node bench/node_fresh_context.mjs RESOURCE_DIR RENDERER_JS FILE [RUNS]
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { performance } from "node:perf_hooks";
import vm from "node:vm";

const [resourceDir, rendererPath, file, runsText] = process.argv.slice(2);
const markedText = readFileSync(join(resourceDir, "marked.min.js"), "utf8");
const katexText = readFileSync(join(resourceDir, "katex.min.js"), "utf8");
const renderer = readFileSync(rendererPath, "utf8");
const markdown = readFileSync(file, "utf8");
const runs = Number(runsText ?? 50);

function convert() {
  const context = vm.createContext({});
  vm.runInContext(markedText, context);
  const hasMath = markdown.includes("$");
  if (hasMath) vm.runInContext(katexText, context);
  context.MD_SRC = markdown;
  context.HAS_MATH = hasMath;
  context.GITHUB = false;
  return vm.runInContext(renderer, context);
}

convert();
const times = [];
for (let i = 0; i < runs; i++) {
  const start = performance.now();
  convert();
  times.push(performance.now() - start);
}
times.sort((a, b) => a - b);
console.log(`${file}: median ${times[runs >> 1].toFixed(2)} ms per conversion over ${runs} runs`);
