#!/usr/bin/env bash
# The release packages: built twice to show they are byte for byte the same (in the package presets'
# own trees, then from the release and Windows trees the tests use, tests and all), then each used as a
# user would: the Debian package installed, run and removed, the Windows zip unpacked into a folder
# with a space in its name and run under Wine, the tarball run where it was unpacked.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
version=$(sed -n 's/^project(Bleepforge VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packages=$PWD/build/packages
deb=$packages/bleepforge_${version}_amd64.deb
tgz=$packages/bleepforge-${version}-linux-x86_64.tar.gz
zip=$packages/bleepforge-${version}-windows-x86_64.zip
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
reference=$PWD/tests/reference/SHA256SUMS
presets=(laser jump explosion coin powerup hit blip game_over)
chips=(nes sid gameboy ym2612)

# The second build reuses what CI has built already; elsewhere the presets build it first. The
# release tree takes the Debian package's compressed manuals for the time being.
package_from() {
    cmake --preset "$1" >/dev/null
    [[ $1 == release ]] && cmake build/release -DBLEEPFORGE_GZIP_MANUALS=ON >/dev/null
    cmake --build --preset "$1" >/dev/null
    (cd "build/$1" && cpack >/dev/null)
    [[ $1 == release ]] && cmake build/release -DBLEEPFORGE_GZIP_MANUALS=OFF >/dev/null
    return 0
}

echo "-- two builds of this commit"
rm -rf "$packages" build/package build/windows-package
cmake --workflow --preset package >/dev/null
cmake --workflow --preset windows-package >/dev/null
mkdir "$work/first"
cp "$packages"/* "$work/first/"
rm -rf "$packages"
package_from release
package_from windows
for file in "$work"/first/*; do
    cmp "$file" "$packages/$(basename "$file")" || { echo "not reproducible: $(basename "$file")" >&2; exit 1; }
done
(cd "$packages" && sha256sum -c SHA256SUMS)
ls -l "$packages"

# The 32 WAV files (and with headers, 64 files) in a folder, checked against the reference hashes.
check_reference() {
    (cd "$1" && grep -E "$2" "$reference" | sha256sum -c --quiet) || { echo "reference files differ in $1" >&2; exit 1; }
}

echo "-- lintian"
lintian --fail-on error,warning --info "$deb"

echo "-- the Debian package, installed"
dpkg -i "$deb" >/dev/null
mkdir "$work/installed"
(
    cd "$work/installed"
    for p in "${presets[@]}"; do for c in "${chips[@]}"; do
        bleepforge --render "$p" "$c" "${p}_$c.wav" >/dev/null
        bleepforge --header "$p" "$c" "${p}_$c.h" >/dev/null
    done; done
)
check_reference "$work/installed" '\.(wav|h)$'
man -w bleepforge
man -w bleep
cmake -S /usr/share/bleepforge/examples/sounds -B "$work/game" -G Ninja >/dev/null
cmake --build "$work/game" >/dev/null
"$work/game/sounds_example"
dpkg -L bleepforge >"$work/files"
dpkg -r bleepforge >/dev/null
left=0
while read -r path; do
    if [[ -e $path && ! -d $path ]] || [[ -d $path && $path == */bleepforge* ]] || [[ $path == */Bleepforge && -d $path ]]; then
        echo "left behind: $path" >&2
        left=1
    fi
done <"$work/files"
((left == 0)) && echo "removed: none of its $(wc -l <"$work/files") paths is left"

echo "-- the Windows zip, from a folder with a space in its name, under Wine"
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wineboot -i >/dev/null 2>&1 </dev/null || true
wineserver -p >/dev/null 2>&1 </dev/null || true  # already running after wineboot
mkdir "$work/Program Files x"
unzip -q "$zip" -d "$work/Program Files x"
top="$work/Program Files x/bleepforge-${version}-windows-x86_64"
mkdir "$work/wine-bleepforge" "$work/wine-bleep"
(
    cd "$work/wine-bleepforge"
    for p in "${presets[@]}"; do for c in "${chips[@]}"; do
        wine "$top/bleepforge.exe" --render "$p" "$c" "${p}_$c.wav" >/dev/null 2>&1 </dev/null
    done; done
)
check_reference "$work/wine-bleepforge" '\.wav$'
(
    cd "$work/wine-bleep"
    for p in "${presets[@]}"; do for c in "${chips[@]}"; do
        wine "$top/bleep.exe" new "$p" "$c" -o "${p}_$c.bleep" </dev/null
    done; done
    wine "$top/bleep.exe" render ./*.bleep </dev/null
)
check_reference "$work/wine-bleep" '\.wav$'
ls "$top"

echo "-- the tarball, unpacked anywhere"
mkdir "$work/anywhere"
tar -xzf "$tgz" -C "$work/anywhere"
tarball_top=$work/anywhere/bleepforge-${version}-linux-x86_64
mkdir "$work/tar-run"
(
    cd "$work/tar-run"
    for p in "${presets[@]}"; do for c in "${chips[@]}"; do
        "$tarball_top/bin/bleepforge" --render "$p" "$c" "${p}_$c.wav" >/dev/null
        "$tarball_top/bin/bleep" new "$p" "$c" | "$tarball_top/bin/bleep" header - -o "${p}_$c.h"
    done; done
)
check_reference "$work/tar-run" '\.(wav|h)$'
[[ $(env -u DISPLAY "$tarball_top/bin/bleep" studio) == "Open this file in a web browser: $tarball_top/share/bleepforge/bleepforge-studio.html" ]]
cmake -S "$tarball_top/share/bleepforge/examples/runtime" -B "$work/tar-game" -G Ninja -DCMAKE_PREFIX_PATH="$tarball_top" >/dev/null
cmake --build "$work/tar-game" >/dev/null
(cd "$work" && "$work/tar-game/runtime_example" >/dev/null)
echo "packages: reproducible, installed, run and removed cleanly"
