#!/usr/bin/env bash
# Time, peak memory and page size of quillory on documents of a few megabytes whose HTML
# would run to gigabytes, or whose nesting runs thousands deep: each is cut short by the
# fragment budget (or the time limit) and shown as text, or rendered.
#
#   bench/amplification.sh [BUILD_DIR]      (needs GNU time: scripts/bootstrap)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
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
    # Nesting: memory grows with depth times size.
    "deep-quote-1.4M": (">" * 1200 + " x\n") * 1200,
    "deep-list-2M": "".join("  " * i + "- x\n" for i in range(1400)),
    "deep-emphasis-2M": ("*" * 1000 + "x" + "*" * 1000 + "\n") * 1000,
    "deep-brackets-2M": ("[" * 1000 + "x" + "]" * 1000 + "\n") * 1000,
    "deep-html-2M": "<div>" * 400000,
}
for name, text in shapes.items():
    open(f"{out}/{name}.md", "w").write(text)
PY
printf '%-20s %10s %10s %12s %12s\n' document source_KB seconds peak_MB page_KB
for doc in "$work"/*.md; do
  stats=$( { /usr/bin/time -f '%e %M' "$build/quillory" -o "$work/page.html" "$doc"; } 2>&1 | tail -1)
  read -r seconds peak_kb <<<"$stats"
  printf '%-20s %10d %10s %12d %12d\n' "$(basename "$doc" .md)" $(($(stat -c %s "$doc") / 1024)) \
    "$seconds" $((peak_kb / 1024)) $(($(stat -c %s "$work/page.html") / 1024))
done
