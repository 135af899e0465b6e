#!/usr/bin/env bash
# Whole-process and in-process figures, side by side with marked's own command line and
# a fresh vm context under node, in one run, and the GitHub extras against plain pages.
# Medians; ratios are ours / node's (plain's for the extras).
#
#   bench/compare.sh [BUILD_DIR]      (needs hyperfine and GNU time: scripts/bootstrap)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
node bench/make_corpus.mjs "$work"
cp bench/corpus/readme.md bench/corpus/readme-math.md bench/corpus/readme-mermaid.md \
  tests/differential/corpus/github-readme.md "$work/"
marked_cli="node node_modules/marked/bin/marked.js -i"

median() {  # hyperfine JSON -> median seconds
  node -e 'const r=require(process.argv[1]).results; console.log(r.map(x=>x.median).join(" "))' "$1"
}
peak_kb() {  # the largest resident size over 3 runs, in KB
  local max=0
  for _ in 1 2 3; do
    kb=$( { /usr/bin/time -f %M "$@" >/dev/null; } 2>&1 | tail -1)
    [ "$kb" -gt "$max" ] && max=$kb
  done
  echo "$max"
}

echo "== Whole process: quillory FILE > /dev/null against $marked_cli FILE"
printf '%-16s %12s %12s %8s %12s %12s\n' document quillory_ms node_ms ratio quillory_MB node_MB
for doc in readme.md readme-20k.md large-4mb.md readme-math.md; do
  runs=30
  [ "$doc" = large-4mb.md ] && runs=8
  hyperfine -N -w 2 -r "$runs" --export-json "$work/h.json" \
    "$build/quillory $work/$doc" "$marked_cli $work/$doc" >/dev/null 2>&1
  read -r ours theirs < <(median "$work/h.json")
  our_kb=$(peak_kb "$build/quillory" "$work/$doc")
  their_kb=$(peak_kb node node_modules/marked/bin/marked.js -i "$work/$doc")
  node -e 'const [d,o,t,ok,tk]=process.argv.slice(1); console.log(`${d.padEnd(16)} ${(o*1000).toFixed(1).padStart(12)} ${(t*1000).toFixed(1).padStart(12)} ${(o/t).toFixed(2).padStart(8)} ${(ok/1024).toFixed(0).padStart(12)} ${(tk/1024).toFixed(0).padStart(12)}`)' \
    "$doc" "$ours" "$theirs" "$our_kb" "$their_kb"
done

echo
echo "== In process, after one request: one conversion (fresh global, libraries evaluated anew)"
"$build/conversion_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null |
  grep median
for doc in readme.md readme-math.md; do
  node bench/node_fresh_context.mjs "$build/resources" convert/renderer.js "$work/$doc" 50
done

echo
echo "== The GitHub extras: quillory FILE against quillory --github FILE"
printf '%-16s %12s %12s %8s\n' document plain_ms github_ms ratio
for doc in readme.md readme-mermaid.md github-readme.md large-4mb.md; do
  runs=30
  [ "$doc" = large-4mb.md ] && runs=8
  hyperfine -N -w 2 -r "$runs" --export-json "$work/g.json" \
    "$build/quillory $work/$doc" "$build/quillory --github $work/$doc" >/dev/null 2>&1
  read -r plain github < <(median "$work/g.json")
  node -e 'const [d,p,g]=process.argv.slice(1); console.log(`${d.padEnd(16)} ${(p*1000).toFixed(1).padStart(12)} ${(g*1000).toFixed(1).padStart(12)} ${(g/p).toFixed(2).padStart(8)}`)' \
    "$doc" "$plain" "$github"
done

echo
echo "== Batch: quillory -d OUT with 200 README-sized files, one core against two"
mkdir -p "$work/batch"
for i in $(seq 1 200); do cp "$work/readme-20k.md" "$work/batch/doc$i.md"; done
hyperfine -N -w 1 -r 5 --export-json "$work/b.json" \
  "taskset -c 0 $build/quillory -d $work/out1 $work/batch" \
  "taskset -c 0,1 $build/quillory -d $work/out2 $work/batch" >/dev/null 2>&1
read -r one two < <(median "$work/b.json")
node -e 'const [o,t]=process.argv.slice(1); console.log(`one core ${(o*1000).toFixed(0)} ms, two cores ${(t*1000).toFixed(0)} ms: throughput x${(o/t).toFixed(2)}`)' "$one" "$two"
