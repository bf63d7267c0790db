#!/usr/bin/env bash
# Fails when a source file includes a header of a folder above its own.
# The folders, top to bottom:
#
#   app > cue > audio > mpc > base, platform
#
# A file may include headers of its own folder and of the folders below it;
# base and platform share the bottom (base holds the plain types every layer
# returns, platform every call into the operating system). tests/, bench/ and
# fuzz/ sit above everything and may include anything; nothing of the tool
# includes them.
#   bash tools/check-layering.sh [REPOSITORY]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

declare -A rank=([app]=4 [cue]=3 [audio]=2 [mpc]=1 [base]=0 [platform]=0
                 [tests]=9 [bench]=9 [fuzz]=9)

failures=0
while IFS= read -r hit; do
  # hit: folder/file:line:#include "folder/header"
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*)[">].*/\1/' <<<"${rest#*:}")
  [[ "$target" == */* ]] || continue
  from=${file%%/*}
  to=${target%%/*}
  [[ -n "${rank[$to]+set}" ]] || continue # a system header such as <sys/stat.h>
  if ((rank[$to] > rank[$from])); then
    echo "$file:$line: $from/ includes $target, a header of $to/ above it"
    failures=$((failures + 1))
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' \
           --include='*.cpp' --include='*.hpp' --include='*.h' --include='*.rc' \
           app cue audio mpc base platform)

if ((failures > 0)); then
  echo "layering: $failures include(s) against app > cue > audio > mpc > base, platform"
  exit 1
fi
echo "layering: app > cue > audio > mpc > base, platform holds"
