#!/usr/bin/env bash
# Usage: package_test.sh files|install SOURCE_DIR BUILD_DIR. files: the data files validate, the
# manual pages name every option --help names, the completion completes. install: the .deb
# installs, works where it lands and goes away (77, skipped, without root or with quillory in).
set -euo pipefail
mode=$1 source=$2 build=$3
fail() { echo "FAILED: $*"; exit 1; }
options() { grep -oE -- '(^| )--?[a-zA-Z][a-z-]*' | tr -d ' ' | sort -u; }
installed() { dpkg-query -W -f='${Status}' quillory 2>/dev/null | grep -q "ok installed"; }
completions() {  # what the completion offers at the end of "quillory $1"
  (set +euo pipefail
   source /usr/share/bash-completion/bash_completion && source "$source/data/quillory.bash-completion"
   COMP_LINE="quillory $1" && COMP_POINT=${#COMP_LINE} && read -ra COMP_WORDS <<<"$COMP_LINE"
   [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
   COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) && _quillory && printf '%s\n' "${COMPREPLY[@]}") | sort | xargs
}
names() { grep -qE -- "(^|[^a-zA-Z-])$1([^a-zA-Z-]|$)" <(sed 's/\\f[BIRP]//g; s/\\-/-/g' "$2"); }  # no pipe to fail when grep stops early

if [ "$mode" = files ]; then
  desktop-file-validate "$source/data/org.quillory.Viewer.desktop" || fail "desktop entry"
  appstreamcli validate --no-net "$source/data/org.quillory.Viewer.metainfo.xml" || fail "metainfo"
  for program in quillory quillory-view; do
    [ -x "$build/$program" ] || continue
    for option in $("$build/$program" --help | options); do
      names "$option" "$source/man/$program.1" || fail "$program(1) does not name $option"
    done
  done
  work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" && mkdir pages && touch a.md b.markdown c.txt
  for case in "-|$( (echo -; "$build/quillory" --help | options) | sort -u | xargs)" "--ti|--time-limit" \
              "|a.md b.markdown pages" "-d |pages" "-o |a.md b.markdown c.txt pages"; do
    got=$(completions "${case%|*}")
    [ "$got" = "${case#*|}" ] || fail "quillory ${case%|*}<Tab> offers '$got'"
  done
  echo "passed: files"
  exit 0
fi

[ "$(id -u)" -eq 0 ] || { echo "skipped: installing the package needs root"; exit 77; }
! installed || { echo "skipped: a quillory package is installed already (apt-get remove quillory)"; exit 77; }
work=$(mktemp -d)
trap 'installed && apt-get remove -y -qq quillory >/dev/null; rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" || { cat "$work/cpack.log"; fail cpack; }
deb=$(echo "$work"/quillory_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for library in libmozjs-102-0 libicu72 libgtk-4-1 libwebkitgtk-6.0-4 libstdc++6 libc6; do
  [[ $depends == *"$library ("* ]] || fail "Depends lacks $library: $depends"
done
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" || { cat "$work/apt.log"; fail apt-get install; }

/usr/bin/quillory "$source/examples/tour.md" | grep -q "<h1>A tour of Quillory</h1>" || fail "the tour's page"
/usr/bin/quillory --version | grep -q "script engine cache: matches the loaded engine" ||
  fail "the engine cache: $(/usr/bin/quillory --version)"
for page in quillory quillory-view; do [ "$(man -w $page)" = "/usr/share/man/man1/$page.1.gz" ] || fail "man $page"; done
for file in applications/org.quillory.Viewer.desktop metainfo/org.quillory.Viewer.metainfo.xml \
            icons/hicolor/scalable/apps/org.quillory.Viewer.svg bash-completion/completions/quillory; do
  [ -s "/usr/share/$file" ] || fail "/usr/share/$file is missing"
done
grep -qx "Exec=/usr/bin/quillory-view --gapplication-service" /usr/share/dbus-1/services/org.quillory.Viewer.service &&
  [ -x /usr/bin/quillory-view ] || fail "the D-Bus service does not start /usr/bin/quillory-view"
[ -x /usr/libexec/quillory-view-instance ] || fail "the window's instance is not in /usr/libexec"
[ -x /usr/libexec/quillory-view-helper ] && ! ldd /usr/libexec/quillory-view-helper | grep -q "libgtk\|libwebkit" ||
  fail "the conversion helper is not in /usr/libexec, or links GTK or WebKit"

apt-get remove -y -qq quillory >"$work/apt.log" || { cat "$work/apt.log"; fail apt-get remove; }
[ ! -e /usr/bin/quillory ] && [ ! -e /usr/share/quillory ] || fail "files are left after removal"
echo "passed: install"
