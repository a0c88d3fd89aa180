#!/usr/bin/env bash
# The build's own compile commands keep the arithmetic flags, and the check names a command that
# lost them or asks for fast arithmetic.
# Usage: arithmetic_flags_test.sh BUILD_DIR
set -euo pipefail
check="$(dirname "$0")/../../tools/check_arithmetic_flags.sh"
bash "$check" "$1"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/compile_commands.json" <<'JSON'
[
{
  "directory": "/b",
  "command": "/usr/bin/c++ -O2 -ffp-contract=off -o a.o -c /s/kept.cpp",
  "file": "/s/kept.cpp"
},
{
  "directory": "/b",
  "command": "/usr/bin/c++ -O2 -o b.o -c /s/missing.cpp",
  "file": "/s/missing.cpp"
},
{
  "directory": "/b",
  "command": "/usr/bin/cc -ffp-contract=off -ffast-math -o c.o -c /s/fast.c",
  "file": "/s/fast.c"
},
{
  "directory": "/b",
  "command": "/usr/bin/i686-linux-gnu-g++ -ffp-contract=off -o d.o -c /s/x87.cpp",
  "file": "/s/x87.cpp"
}
]
JSON
if output=$(bash "$check" "$work"); then
  echo "the check passed commands without the flags"; exit 1
fi
expected=$'/s/missing.cpp: no -ffp-contract=off\n/s/fast.c: -ffast-math\n/s/x87.cpp: 32-bit x86 without -mfpmath=sse\n3 of 4 compile commands may round differently'
[ "$output" = "$expected" ] || { printf 'unexpected report:\n%s\n' "$output"; exit 1; }
