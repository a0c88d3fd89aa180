#!/usr/bin/env bash
# Fails when a compile command of a build may round differently from the others: every command must
# turn floating-point contraction off, none may ask for fast or unsafe arithmetic, and on 32-bit x86
# every one must compute float and double in SSE2 (cmake/arithmetic.cmake sets all of this).
# Usage: check_arithmetic_flags.sh BUILD_DIR_OR_COMPILE_COMMANDS_JSON
set -euo pipefail
file=$1
[ -d "$file" ] && file="$file/compile_commands.json"
[ -f "$file" ] || { echo "$file: no compile commands (configure with CMAKE_EXPORT_COMPILE_COMMANDS)"; exit 1; }

commands=0 bad=0
while IFS= read -r line; do
  commands=$((commands + 1))
  command=${line#*\"command\": \"}
  source=${command##* }
  source=${source%\"*}
  problems=()
  [[ " $command " == *" -ffp-contract=off "* ]] || problems+=("no -ffp-contract=off")
  for flag in -ffast-math -Ofast -funsafe-math-optimizations -ffp-contract=fast -ffp-contract=on -mfpmath=387; do
    [[ " $command " == *" $flag "* ]] && problems+=("$flag")
  done
  if [[ " $command " == *" -m32 "* || "$command" == *i[3-6]86-* ]]; then
    [[ " $command " == *" -mfpmath=sse "* ]] || problems+=("32-bit x86 without -mfpmath=sse")
  fi
  if ((${#problems[@]})); then
    bad=$((bad + 1))
    echo "$source: ${problems[*]}"
  fi
done < <(grep '"command":' "$file")

((commands > 0)) || { echo "$file: no compile commands in it"; exit 1; }
((bad == 0)) || { echo "$bad of $commands compile commands may round differently"; exit 1; }
echo "$commands compile commands: contraction off, no fast arithmetic"
