#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Quizzolo need,
# and only those that are missing. Runs apt-get as root, or through sudo otherwise.
set -euo pipefail

# Build: compiler, CMake, Qt 6 (Widgets, Svg, Multimedia, Test; PrintSupport comes with qt6-base-dev;
# Charts for the notebook, whose CMake files need the OpenGL ones), espeak-ng, the .deb's dependency scan.
build_pkgs=(
  cmake ninja-build g++ pkg-config dpkg-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-multimedia-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libvulkan-dev libxkbcommon-dev libxcb1-dev
  libespeak-ng-dev
)
# Run time: Italian voice data, Qt's Italian translations, the Qt platform plugins, fonts.
run_pkgs=(
  espeak-ng-data qt6-translations-l10n qt6-qpa-plugins libqt6svg6 libqt6multimedia6 libqt6charts6 libqt6printsupport6
  fonts-liberation fonts-dejavu-core
)
# Tests: a virtual X display and input, screenshots, OCR, audio checks, a sound server, fake time,
# the launcher and metainfo validators, the package checker, clang with libFuzzer and the sanitizer runtimes.
test_pkgs=(
  xvfb xauth x11-utils imagemagick tesseract-ocr sox espeak-ng
  pulseaudio pulseaudio-utils faketime
  desktop-file-utils appstream
  clang libclang-rt-14-dev
  dbus-daemon python3-pyatspi python3-xlib  # end to end: a D-Bus session, a screen reader's client, an X client
  valgrind  # memory checking of a whole game (scripts/valgrind.sh)
  lintian poppler-utils  # the .deb as Debian checks it; the notebook's PDF report (pdfinfo)
)

wanted=("${build_pkgs[@]}" "${run_pkgs[@]}")
case "${1:-all}" in
  build) ;;
  all|test) wanted+=("${test_pkgs[@]}") ;;
  *) echo "uso: $0 [build|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
echo "Installo i pacchetti mancanti: ${missing[*]}" >&2
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
