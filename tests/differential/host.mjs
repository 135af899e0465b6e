// Runs the conversion host in a mode over texts, each framed as its byte length, a newline, its bytes.
import {spawnSync} from 'node:child_process';

export function runHost(host, mode, texts) {
  const input = Buffer.concat(texts.flatMap((text) => [Buffer.from(`${Buffer.byteLength(text)}\n`), Buffer.from(text)]));
  const run = spawnSync(host, [mode], {input, maxBuffer: 1 << 30});
  if (run.status !== 0) throw new Error(`${host} ${mode} failed (status ${run.status}): ${run.stderr}`);
  const outputs = [];
  for (let at = 0; at < run.stdout.length;) {
    const newline = run.stdout.indexOf(10, at);
    at = newline + 1 + Number(run.stdout.subarray(at, newline).toString());
    outputs.push(run.stdout.subarray(newline + 1, at));
  }
  if (outputs.length !== texts.length) throw new Error(`${texts.length} texts in, ${outputs.length} out`);
  return outputs;
}
