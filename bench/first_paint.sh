#!/usr/bin/env bash
# From launching the command to the rendered heading on screen, in a virtual X display
# (Xvfb) with a private session bus: quillory-view cold (no instance running), warm (an
# instance resident, a different file), follow (from the click on a link in a window of the
# instance to the linked file's heading) and Chromium's --app window with a fresh profile on
# the page quillory writes for the same file, side by side in one run. Medians of RUNS.
# Several build directories, separated by commas, are measured in turn in each round (in
# an order that rotates), against the same Chromium figures; the first one's quillory and
# probe serve them all.
#
#   bench/first_paint.sh [BUILD_DIR[,BUILD_DIR...]] [RUNS] [FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
IFS=, read -ra builds <<<"${1:-build}"
for b in "${!builds[@]}"; do builds[b]=$(realpath "${builds[b]}"); done
build=${builds[0]}
runs=${2:-7}
file=$(realpath "${3:-examples/tour.md}")
# Dark pixels that only the page's heading reaches, not a window's title bar alone.
threshold=${THRESHOLD:-1500}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

Xvfb -displayfd 9 -screen 0 1024x768x24 -wr -nolisten tcp 9>"$work/display" 2>/dev/null &
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
sleep 0.2
export DISPLAY=":$(cat "$work/display")" GDK_BACKEND=x11 NO_AT_BRIDGE=1

cp -r "$(dirname "$file")" "$work/docs"
name=$(basename "$file" .md)
cp "$work/docs/$name.md" "$work/docs/$name-again.md"
"$build/quillory" -o "$work/docs/$name.html" "$work/docs/$name.md"
# A page with nothing dark on it, one large link (a light picture) to the file.
light='<svg xmlns="http://www.w3.org/2000/svg" width="600" height="300"><rect width="600" height="300" fill="#e0e0e0"/></svg>'
echo "[![next](data:image/svg+xml;base64,$(printf %s "$light" | base64 -w0))]($name.md)" >"$work/docs/link.md"
probe="$build/first_paint_probe $threshold"

close_windows() {  # with the window's own key, which leaves the instance running
  for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do
    xdotool windowfocus --sync "$id" key Escape 2>/dev/null || true
  done
  sleep 0.5
}

declare -A cold warm follow
chromium=()
for i in $(seq "$runs"); do
  line="round $i:"
  for k in $(seq 0 $((${#builds[@]} - 1))); do
    b=$(((i + k) % ${#builds[@]}))
    # A fresh session bus each time, so no instance is left from the one before.
    dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus" 4>"$work/bus-pid" >/dev/null
    export DBUS_SESSION_BUS_ADDRESS=$(cat "$work/bus")
    c=$($probe "${builds[b]}/quillory-view" "$work/docs/$name.md")
    close_windows
    sleep 2  # the instance settles, as between two previews
    w=$($probe "${builds[b]}/quillory-view" "$work/docs/$name-again.md")
    close_windows
    "${builds[b]}/quillory-view" "$work/docs/link.md"
    sleep 2
    f=$($probe xdotool mousemove --sync 300 250 click 1)
    close_windows
    kill "$(cat "$work/bus-pid")"
    cold[$b]+=" $c" warm[$b]+=" $w" follow[$b]+=" $f" line+=" [$b] cold $c ms, warm $w ms, follow $f ms;"
  done
  rm -rf "$work/profile"
  chromium+=("$($probe chromium --app="file://$work/docs/$name.html" --user-data-dir="$work/profile" \
    --no-sandbox --no-first-run --disable-background-networking --disable-component-update \
    --disable-sync --disable-gpu --disable-quic)")
  pkill -f "user-data-dir=$work/profile" || true
  sleep 0.5
  echo "$line chromium ${chromium[-1]} ms" >&2
done

median() { printf '%s\n' $@ | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
chrome=$(median "${chromium[@]}")
echo "first paint of $(basename "$file"), median of $runs (ms): chromium --app $chrome"
for b in "${!builds[@]}"; do
  c=$(median "${cold[$b]}") w=$(median "${warm[$b]}") f=$(median "${follow[$b]}")
  awk -v n="[$b] ${builds[b]}" -v c="$c" -v w="$w" -v f="$f" -v b="$chrome" 'BEGIN {
    printf "%s: quillory-view cold %d, warm %d, follow a link %d; ratios to chromium: cold %.2f, warm %.2f, follow %.2f\n",
      n, c, w, f, c / b, w / b, f / b }'
done
