#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan in build-fuzz and runs
# each for SECONDS (default 30) on a copy of its seed corpus. Exits non-zero
# when a target finds a crash; the reproducer is left in build-fuzz/artifacts.
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail

seconds="${1:-30}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-fuzz"
targets=(ini number date mail)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" \
  -DTARVESK_FUZZ=ON -DTARVESK_SANITIZE=ON -DTARVESK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" \
  --target "${targets[@]/%/_fuzzer}"

mkdir -p "$build/artifacts" "$build/logs"
# The settings-file target writes and syncs a file on every run: a RAM folder
# keeps that from dominating the time.
if [[ -z "${TMPDIR:-}" && -d /dev/shm && -w /dev/shm ]]; then
  export TMPDIR=/dev/shm
fi
status=0
summary=()
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  cp -R "$root/fuzz/corpus/$t/." "$corpus/"
  log="$build/logs/$t.log"
  echo "== ${t}_fuzzer for ${seconds}s (log: $log)"
  rc=0
  "$build/fuzz/${t}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/${t}-" "$corpus" >"$log" 2>&1 || rc=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)"
  [[ -n "$runs" ]] || runs="$(grep -o '^#[0-9]*' "$log" | tail -n1 | tr -d '#')"
  if [[ $rc -eq 0 ]]; then
    summary+=("${t}_fuzzer: ok, ${runs:-?} runs in ${seconds}s, corpus $(ls "$corpus" | wc -l) inputs")
  else
    status=1
    summary+=("${t}_fuzzer: FAILED (exit $rc) after ${runs:-?} runs; see $log and $build/artifacts/")
    grep -m1 -E 'ERROR|SUMMARY|deadly signal' "$log" || true
  fi
done

printf '%s\n' "${summary[@]}"
exit "$status"
