#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks the desktop integration: the launcher,
# the icons and the AppStream metainfo are where menus and software centres look for them,
# pass their validators, and name each other and the program rightly.
#   install_check.sh <build folder> <project version>
set -euo pipefail
build=$1 version=$2
src=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/usr
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log" >&2
  echo "FAIL: cmake --install" >&2
  exit 1
fi

metainfo=$prefix/share/metainfo/quizzolo.metainfo.xml
[ -s "$metainfo" ] || fail "not installed: ${metainfo#"$scratch"/}"
# The game and the notebook: each has its program, launcher, icons and manual pages.
for program in quizzolo quizzolo-quaderno; do
  for f in share/applications/$program.desktop share/icons/hicolor/scalable/apps/$program.svg \
           share/icons/hicolor/48x48/apps/$program.png share/man/man6/$program.6.gz \
           share/man/it/man6/$program.6.gz; do
    [ -s "$prefix/$f" ] || fail "not installed: usr/$f"
  done
  [ -x "$prefix/bin/$program" ] || fail "not installed or not executable: usr/bin/$program"
done

# The character file belongs to the characters folder once it is in the source tree.
if [ -f "$src/resources/chars/Merlin.acs" ]; then
  grep -qx "$prefix/share/quizzolo/chars/Merlin.acs" "$build/install_manifest.txt" ||
    fail "the build does not install share/quizzolo/chars/Merlin.acs"
else
  echo "NOTE: resources/chars/Merlin.acs is not in the source tree yet; character file not checked"
fi
[ "$failures" -eq 0 ] || exit 1

# Validators: any complaint, even a hint, is a failure.
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
for program in quizzolo quizzolo-quaderno; do
  desktop=$prefix/share/applications/$program.desktop
  out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
  # The files refer to each other and to the program by name.
  key() { sed -n "s/^$1=//p" "$desktop"; }
  [ "$(key Exec)" = "$program" ] || fail "Exec is '$(key Exec)', not the installed program $program"
  [ "$(key Icon)" = "$program" ] || fail "Icon is '$(key Icon)', not the installed icon $program"
  [ -n "$(key 'Name\[it\]')" ] && [ -n "$(key 'Comment\[it\]')" ] && [ -n "$(key 'Keywords\[it\]')" ] ||
    fail "the launcher of $program has no Italian name, comment or keywords"
  grep -q "<binary>$program</binary>" "$metainfo" || fail "the metainfo does not provide the binary $program"
done
[ "$(sed -n 's/^Name\[it\]=//p' "$prefix/share/applications/quizzolo-quaderno.desktop")" = "Quaderno dei progressi" ] ||
  fail "the notebook's launcher is not named Quaderno dei progressi"
grep -q '<launchable type="desktop-id">quizzolo.desktop</launchable>' "$metainfo" ||
  fail "the metainfo does not launch quizzolo.desktop"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "the newest release in the metainfo is '$newest', the project is $version"
grep -q '<content_rating type="oars-1.1"' "$metainfo" || fail "the metainfo has no OARS 1.1 content rating"

# The scalable icons are the artwork itself; the bitmaps 48x48 renderings of it, not blank.
for pair in quizzolo:icona quizzolo-quaderno:quaderno; do
  program=${pair%%:*} art=${pair#*:}
  svg=$prefix/share/icons/hicolor/scalable/apps/$program.svg
  png=$prefix/share/icons/hicolor/48x48/apps/$program.png
  cmp -s "$svg" "$src/resources/art/$art.svg" || fail "the scalable icon $program.svg differs from resources/art/$art.svg"
  read -r w h coverage < <(identify -format '%w %h %[fx:mean.a]\n' "png:$png" 2>/dev/null || echo "? ? 0")
  [ "$w $h" = "48 48" ] || fail "the PNG icon $program.png is ${w}x${h}, not 48x48"
  awk -v c="$coverage" 'BEGIN { exit !(c > 0.2) }' || fail "the PNG icon $program.png is almost empty (mean alpha $coverage)"
done

[ "$failures" -eq 0 ] || exit 1
echo "install: all checks passed"
