#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) in build-fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, replays each target's regression inputs (fuzz/regression/), then
# fuzzes each target for SECONDS (default 60) on a copy of its seed corpus (fuzz/corpus/), as
# many targets at a time as there are processors. Fails when any target finds a crash, a
# sanitizer report, a leak, a time-out or a failed check; the input is kept in
# build-fuzz/run/<target>-crash-* and the log in build-fuzz/run/<target>.log.
# Needs clang and its libFuzzer runtime (Debian 12: clang-14 libclang-rt-14-dev).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "Utilisation : scripts/fuzz.sh [SECONDES]" >&2
  exit 2
fi

cxx="$(command -v clang++-14 || command -v clang++ || true)"
if [ -z "$cxx" ]; then
  echo "clang++ est introuvable (paquets Debian : clang-14 libclang-rt-14-dev)." >&2
  exit 1
fi

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$cxx" \
  -DKELBO_FUZZ=ON -DKELBO_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --target fuzzers -j "$(nproc)"

targets=(fuzz_cdib fuzz_project fuzz_picture fuzz_options)
run=build-fuzz/run
rm -rf "$run"
mkdir -p "$run"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Pictures may decode to 256 MB (frame/fitpicture.h); no single allocation goes far beyond.
limits=(-rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=30)

# Every regression input must pass.
for t in "${targets[@]}"; do
  if compgen -G "fuzz/regression/$t/*" >/dev/null; then
    if ! "build-fuzz/fuzz/$t" "${limits[@]}" fuzz/regression/"$t"/* >"$run/$t-regression.log" 2>&1; then
      cat "$run/$t-regression.log" >&2
      echo "ÉCHEC : $t sur fuzz/regression/$t" >&2
      exit 1
    fi
  fi
done

fuzz_one() {
  local t="$1" status=0
  cp -r "fuzz/corpus/$t" "$run/$t"
  "build-fuzz/fuzz/$t" "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$run/$t-" "$run/$t" >"$run/$t.log" 2>&1 || status=$?
  echo "$status" >"$run/$t.status"
}

running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$(nproc)" ]; then
    wait -n
    running=$((running - 1))
  fi
  fuzz_one "$t" &
  running=$((running + 1))
done
wait

failed=0
for t in "${targets[@]}"; do
  if [ "$(cat "$run/$t.status")" = 0 ]; then
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/$t.log")
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$run/$t.log" | tail -n 1)
    echo "$t : ${executed:-?} exécutions en ${seconds} s, $coverage, aucun défaut"
  else
    failed=1
    tail -n 60 "$run/$t.log" >&2
    echo "ÉCHEC : $t (journal : $run/$t.log)" >&2
  fi
done
exit "$failed"
