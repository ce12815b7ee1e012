#!/usr/bin/env bash
# Checks the export table of qzib32.dll: exactly the seventeen bus calls, undecorated, at
# their fixed ordinals 2 to 18, nothing at ordinal 1 and nothing else exported.
# Usage: check-dll-exports.sh <objdump of the target> <qzib32.dll>
set -euo pipefail
objdump=$1
dll=$2

expected="2 QZDLLibeot
3 QZDLLibrdf
4 QZDLLibwrtf
5 QZDLLibloc
6 QZDLLibsre
7 QZDLLibtmo
8 QZDLLWaitSrq
9 QZDLLTestSrq
10 QZDLLilrd
11 QZDLLilwrt
12 QZDLLibrd
13 QZDLLibwrt
14 QZDLLibfind
15 QZDLLibrsp
16 QZDLLibonl
17 QZDLLibclr
18 QZDLLSwapBytes"

dump=$("$objdump" -p "$dll")
base=$(sed -n 's/^Export Address Table -- Ordinal Base \([0-9]*\).*/\1/p' <<<"$dump")
if [ -z "$base" ]; then
  echo "$dll: no export table" >&2
  exit 1
fi
# "[Ordinal/Name Pointer] Table" lists each name with its index into the address table;
# the ordinal is that index plus the base.
actual=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
  sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\([^[:space:]]*\).*/\1 \2/p' |
  while read -r index name; do echo "$((index + base)) $name"; done | sort -n)
# Every slot of the address table must belong to a name: no export by ordinal only.
slots=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$dump" | grep -c 'Export RVA' || true)

status=0
if [ "$actual" != "$expected" ]; then
  echo "$dll: the exports differ from the bus calls at their ordinals:" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  status=1
fi
if [ "$slots" -ne 17 ]; then
  echo "$dll: $slots exported addresses, expected 17" >&2
  status=1
fi
if grep -q '^1 ' <<<"$actual" || [ "$base" -lt 2 ]; then
  echo "$dll: something is exported at ordinal 1" >&2
  status=1
fi
if grep -q '[@?]' <<<"$actual"; then
  echo "$dll: decorated names in the export table" >&2
  status=1
fi
[ $status -eq 0 ] && echo "$dll: 17 exports, ordinals 2-18, undecorated"
exit $status
