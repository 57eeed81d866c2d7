#!/bin/sh
# Rebuilds the program's images into resources/. The generator is built under /tmp so the
# source tree only ever receives its output.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${ICONGEN_BUILD:-/tmp/nuvola-icongen-build}

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null
mkdir -p "$root/resources"
"$build/icongen" "$root/resources"
echo "icongen: wrote $root/resources"
