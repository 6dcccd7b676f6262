#!/usr/bin/env bash
# Cross-builds brevik-cli.exe for 64-bit Windows into build-windows/ with mingw-w64, and packs it
# with its README into build-windows/brevik-cli-windows-x64.zip. Extra arguments are further
# targets to build (test-windows.sh passes brevik_windows_tests).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64

dir=build-windows
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DBREVIK_CLI_ONLY=ON -DBREVIK_BENCH=OFF \
    -DBREVIK_TESTS="$([ $# -gt 0 ] && echo ON || echo OFF)" >/dev/null
cmake --build "$dir" -j "$(nproc)" --target brevik-cli "$@"

# Nothing but system DLLs may be needed beside the .exe.
if x86_64-w64-mingw32-objdump -p "$dir/brevik-cli.exe" | grep 'DLL Name' |
    grep -viE 'kernel32|msvcrt|shell32|user32|advapi32|ws2_32|ntdll|api-ms-win'; then
    echo "brevik-cli.exe needs DLLs of its own (above)" >&2
    exit 1
fi

rm -rf "$dir/package" "$dir/brevik-cli-windows-x64.zip"
mkdir -p "$dir/package"
x86_64-w64-mingw32-strip -o "$dir/package/brevik-cli.exe" "$dir/brevik-cli.exe"
sed 's/$/\r/' resources/windows/README.txt >"$dir/package/README.txt"
(cd "$dir/package" && cmake -E tar cf ../brevik-cli-windows-x64.zip --format=zip brevik-cli.exe README.txt)
echo "Built $dir/brevik-cli.exe and $dir/brevik-cli-windows-x64.zip"
