#!/usr/bin/env bash
# Builds the Debian packages and proves them: installs them with dpkg into a clean root and there
# runs marlin-cli --help, builds a program against the bus library through pkg-config and through
# find_package(qzib32) that opens the installed simulator, verifies the service units with
# systemd-analyze, and runs lintian, which must report no errors.
# The root has our packages alone; their dependencies are checked against the machine's packages.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
bash scripts/deps.sh packages
bash scripts/package.sh "$@"
builddir=$(realpath "${MARLIN_BUILD_DIR:-build}")
debs=("$builddir"/packages/*.deb)
root=$builddir/check-root
work=$builddir/check-work
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
# Loopback address of this check's simulator, on the protocol's port.
address=127.0.5.200
fail() { echo "check-packages: $*" >&2; exit 1; }
passed=0
step() { [ -z "${current:-}" ] || passed=$((passed + 1)); current=$*; echo "== $*"; }

step "dependencies resolve to packages of this machine's distribution"
apt-get install --simulate -qq "${debs[@]}" >/dev/null || fail "the packages' dependencies do not resolve (see apt-get install --simulate ${debs[*]})"

step "install into a clean root: $root"
rm -rf "$root" "$work"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$work"
touch "$root/var/lib/dpkg/status"
# Maintainer scripts run outside the root (it has no shell); dependencies are the machine's.
dpkg --root="$root" --log=/dev/null --force-depends --force-script-chrootless --install "${debs[@]}" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log"; fail "dpkg could not install the packages"; }
dpkg --root="$root" --audit || fail "packages left half-installed"
export LD_LIBRARY_PATH=$root/usr/lib/$arch

step "no installed file points into the source or build tree"
if grep -rlF "$PWD" "$root/usr" 2>/dev/null; then fail "the files above name $PWD"; fi

step "marlin-cli --help and the man pages"
"$root/usr/bin/marlin-cli" --help | grep -q "Usage: marlin-cli record" || fail "marlin-cli --help printed no usage"
for page in marlin marlin-cli analyzer-sim; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q '^\.TH' || fail "man page of $page missing"
done
zcat "$root/usr/share/man/man1/marlin-cli.1.gz" | grep -q 'keep\\-settings' || fail "the man page of marlin-cli is not its --help"

step "a program finds the bus library through pkg-config and find_package(qzib32)"
export PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_LIBDIR=$root/usr/lib/$arch/pkgconfig
# shellcheck disable=SC2046
cc -Wall -Werror -o "$work/opensim-pkgconfig" packaging/check/opensim.c $(pkg-config --cflags --libs qzib32)
cmake -S packaging/check -B "$work/cmake" -DCMAKE_PREFIX_PATH="$root/usr" -DCMAKE_BUILD_TYPE=Release >"$work/cmake.log" ||
  { cat "$work/cmake.log"; fail "find_package(qzib32) failed"; }
cmake --build "$work/cmake" >>"$work/cmake.log" || { cat "$work/cmake.log"; fail "the find_package build failed"; }

step "both programs open the installed simulator at $address"
"$root/usr/bin/analyzer-sim" --bind "$address" >"$work/sim.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for program in "$work/opensim-pkgconfig" "$work/cmake/opensim"; do
  identity=""
  # The simulator may still be opening its socket: a bounded number of tries, no fixed wait.
  for _ in $(seq 50); do
    identity=$("$program" "$address" 2>/dev/null) && break
    kill -0 $sim 2>/dev/null || { cat "$work/sim.log"; fail "analyzer-sim ended"; }
    sleep 0.1
  done
  [[ $identity == QUAZAR,* ]] || fail "$program did not read the simulator's identity (got \"$identity\")"
done
# The installed recorder loads the bus library by its name, from the system's library folders.
"$root/usr/bin/marlin-cli" record --address "$address" --trace 1 --interval 0 --readings 2 --quiet \
  --file "$work/lab.sft" --settings "$work/lab.ini" || fail "the installed marlin-cli could not record"
[ -s "$work/lab.sft" ] || fail "the installed marlin-cli wrote no trace file"

step "SIGTERM ends a running recording through STOP, as systemd stops the service"
rm -f "$work/lab.sft"
"$root/usr/bin/marlin-cli" record --address "$address" --trace 1 --interval 0 --quiet --keep-settings \
  --file "$work/lab.sft" --settings "$work/lab.ini" &
recorder=$!
for _ in $(seq 100); do [ -s "$work/lab.sft" ] && break; sleep 0.1; done
[ -s "$work/lab.sft" ] || fail "the recording did not start"
kill -TERM $recorder
status=0
wait $recorder || status=$?
[ $status -eq 0 ] || fail "marlin-cli ended with status $status after SIGTERM instead of 0 (STOP)"
kill $sim; wait $sim 2>/dev/null || true
trap - EXIT

step "systemd-analyze verify on the units"
unitdir=$root/usr/lib/systemd/system
# The units systemd's own package would bring (targets, slices) join ours in the root.
cp -an /lib/systemd/system/. "$unitdir/"
mkdir -p "$root/etc/marlin/record"
cp "$root/usr/share/doc/marlin/examples/record.conf" "$root/etc/marlin/record/lab.conf"
(cd "$unitdir" && MANPATH=$root/usr/share/man systemd-analyze verify --root="$root" marlin-record@lab.service marlin-sim.service) \
  >"$work/verify.log" 2>&1 || { cat "$work/verify.log"; fail "systemd-analyze verify failed"; }
if [ -s "$work/verify.log" ]; then cat "$work/verify.log"; fail "systemd-analyze verify has remarks"; fi

step "lintian"
lintian --fail-on error "${debs[@]}" ||
  fail "lintian reports errors"

step "done"
echo "check-packages: ${#debs[@]} packages checked in $((SECONDS - started)) s"
echo "packages: $passed passed, 0 failed"
