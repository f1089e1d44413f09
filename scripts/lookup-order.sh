#!/usr/bin/env bash
# The shared libraries that a program's start-up binds the most symbols to, most first, for
# cmake/lookup-order.txt:
#
#   scripts/lookup-order.sh build/tools/kelbo-export/kelbo-export > cmake/lookup-order.txt
#
# The dynamic loader looks each symbol up in the libraries' load order, from the first, so a
# library that many lookups end in is best named early. Only libraries with at least MIN
# (default 60) bindings are listed; the program and the loader itself are left out.
set -euo pipefail
program=${1:?usage: lookup-order.sh PROGRAM [MIN]}
min=${2:-60}
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT
QT_QPA_PLATFORM=minimal LD_DEBUG=bindings "$program" --version 2>"$trace" >/dev/null
echo "# Libraries that kelbo-export's start-up binds the most symbols to, most first"
echo "# (made by scripts/lookup-order.sh on Debian 12; see tools/kelbo-export/CMakeLists.txt)."
sed -n "s/.*binding file .* to \([^ ]*\) .*/\1/p" "$trace" | xargs -n1 basename | sort | uniq -c |
  sort -k1,1nr -k2 | awk -v min="$min" '$1 >= min && $2 !~ /^ld-linux/ && $2 != "'"$(basename "$program")"'" {print $2}'
