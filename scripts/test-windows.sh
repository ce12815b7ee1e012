#!/usr/bin/env bash
# Builds qzib32.dll for 32- and 64-bit Windows with mingw-w64, checks both export tables and
# runs the library's tests, built for 64-bit Windows, under Wine over loopback.
# Usage: scripts/test-windows.sh            (installs mingw-w64, Wine and GoogleTest's sources when absent)
# Results: build-windows/i686/bin/qzib32.dll and build-windows/x86_64/bin/qzib32.dll.
# Run it after the Linux tests, not beside them: both use the loopback addresses 127.0.0.10-59.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${MARLIN_WINDOWS_BUILD:-$root/build-windows}
jobs=${JOBS:-2}
started=$(date +%s)

step() { printf '\n== %s (%ds)\n' "$*" $(($(date +%s) - started)); }

step "packages"
bash "$root/scripts/deps.sh" windows

# GoogleTest for the cross compiler, built from Debian's googletest sources once.
deps=$out/deps-x86_64
if [ ! -f "$deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
  step "GoogleTest for x86_64 Windows"
  cmake -S /usr/src/googletest -B "$out/gtest-build-x86_64" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$deps" >/dev/null
  cmake --build "$out/gtest-build-x86_64" -j"$jobs"
  cmake --install "$out/gtest-build-x86_64" >/dev/null
fi

step "qzib32.dll for i686"
cmake -S "$root" -B "$out/i686" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-i686.cmake" \
  -DMARLIN_FOLDERS=qzib32 -DMARLIN_BUILD_TESTS=OFF -DMARLIN_WERROR=ON >/dev/null
cmake --build "$out/i686" --target qzib32 -j"$jobs"

step "qzib32.dll and its tests for x86_64"
cmake -S "$root" -B "$out/x86_64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-x86_64.cmake" \
  -DMARLIN_FOLDERS=qzib32 -DMARLIN_BUILD_TESTS=ON -DMARLIN_WERROR=ON -DCMAKE_CROSSCOMPILING_EMULATOR=wine \
  -DMARLIN_WINDOWS_DEPS="$deps" -DCMAKE_PREFIX_PATH="$deps" >/dev/null
cmake --build "$out/x86_64" -j"$jobs"

failed=()

export WINEPREFIX=$out/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or browser installer prompts in a fresh prefix
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  step "Wine prefix $WINEPREFIX (made once)"
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w
fi
# One Wine server for all the programs, ended with the script. Its helper processes are
# started here, away from the test runner, which would otherwise wait for the output they
# inherited.
wineserver -p 2>/dev/null || true  # a server that runs already serves as well
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

step "export table of the i686 DLL"
if ! ctest --test-dir "$out/i686/qzib32" -R '^qzib32_dll_exports$' --output-on-failure; then
  failed+=("exports of the i686 DLL")
fi

# The x86_64 test programs run under Wine (the build's emulator), each case on its own as on
# Linux; the export table of the x86_64 DLL is one of the tests.
step "export table of the x86_64 DLL and the library's tests under Wine"
if ! bash "$root/scripts/ctest.sh" "$out/x86_64" -j"$jobs" --output-on-failure --timeout 300; then
  # Now and then Wine fails to start a program at all (no output, a hundredth of a second); a
  # test that fails again on its own is a failure.
  step "the failed tests once more, one at a time"
  if bash "$root/scripts/ctest.sh" "$out/x86_64" --rerun-failed --no-tests=error --output-on-failure --timeout 300; then
    echo "warning: tests above failed under Wine and passed when run again on their own" >&2
  else
    failed+=("tests of the x86_64 build under Wine")
  fi
fi

step "done"
if [ ${#failed[@]} -ne 0 ]; then
  printf 'FAILED: %s\n' "${failed[@]}" >&2
  exit 1
fi
echo "qzib32.dll: both export tables match; the library's tests pass under Wine."
