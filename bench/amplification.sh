#!/usr/bin/env bash
# Time, peak memory and outcome of quillory on documents of a few megabytes whose HTML
# would run to gigabytes, or whose nesting runs thousands deep: each is cut short by the
# fragment budget, the script engine's memory budget or the time limit and shown as text,
# or rendered. Several builds run each document in turn, side by side.
#
#   bench/amplification.sh [BUILD_DIR[,BUILD_DIR...]]    (needs GNU time: scripts/bootstrap)
#   TIME_LIMIT=60 bench/amplification.sh ...   a longer time limit, to see memory unstopped by it
set -euo pipefail
cd "$(dirname "$0")/.."
IFS=, read -r -a builds <<<"${1:-build}"
limit=(${TIME_LIMIT:+--time-limit "$TIME_LIMIT"})
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import sys
out = sys.argv[1]
shapes = {
    "long-link-700k": "[r]: http://example.com/" + "a" * 1000 + "\n\n" + "[r] " * 700000,
    "cjk-title-900k": '[r]: /u "' + "中" * 1000 + '"\n\n' + "[r] " * 900000,
    "escaped-title-900k": '[r]: /u "' + "中&" * 500 + '"\n\n' + "[r] " * 900000,
    "wide-table": "|a" * 1000 + "|\n" + "|-" * 1000 + "|\n" + "b\n" * 1500000,
    # Nesting: marked keeps the text once per level, so memory grows with depth times size.
    "deep-quote-1.4M": (">" * 1200 + " x\n") * 1200,
    "deep-list-2M": "".join("  " * i + "- x\n" for i in range(1400)),
    "list-per-line-2M": ("- " * 700 + "x\n") * 1400,
    "quote-list-2M": ("> - " * 350 + "x\n") * 1400,
    "deep-emphasis-2M": ("*" * 1000 + "x" + "*" * 1000 + "\n") * 1000,
    "deep-brackets-2M": ("[" * 1000 + "x" + "]" * 1000 + "\n") * 1000,
    "deep-html-2M": "<div>" * 400000,
}
for name, text in shapes.items():
    open(f"{out}/{name}.md", "w").write(text)
PY
printf '%-20s %9s' document source_KB
for build in "${builds[@]}"; do printf ' | %-24s' "$build"; done
printf '\n%-20s %9s' '' ''
for _ in "${builds[@]}"; do printf ' | %8s %8s %6s' seconds peak_MB shown; done
echo
for doc in "$work"/*.md; do
  printf '%-20s %9d' "$(basename "$doc" .md)" $(($(stat -c %s "$doc") / 1024))
  for build in "${builds[@]}"; do
    stats=$( { /usr/bin/time -f '%e %M' "$build/quillory" "${limit[@]}" -o "$work/page.html" "$doc"; } 2>&1 | tail -1)
    read -r seconds peak_kb <<<"$stats"
    shown=html
    grep -q '<article[^>]*><pre>\([^<]\|$\)' "$work/page.html" && shown=text
    printf ' | %8s %8d %6s' "$seconds" $((peak_kb / 1024)) "$shown"
  done
  echo
done
