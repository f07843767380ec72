#!/usr/bin/env bash
# Builds the tests without sanitizers in build-valgrind and runs the unit and
# window test executables under memcheck, one valgrind run per executable.
#
# Usage: scripts/valgrind.sh [test-name ...]
#   With no names, every unit and window test executable; the end-to-end
#   tests (tests/e2e) start the real program, which memcheck would not follow
#   anyway, and are left out.
#   The install test is a shell script and is never run here.
#
# Logs go to build-valgrind/valgrind/<test>.log. Exit status: 99 when memcheck
# reported an error or a definite leak in any executable, 1 when a test failed
# without a memcheck error (usually a timeout stretched by valgrind), 0 else.
set -uo pipefail
cd "$(dirname "$0")/.."

build_dir=build-valgrind
supp=scripts/valgrind.supp

cmake -S . -B "$build_dir" -DTARVESK_SANITIZE=OFF -DTARVESK_WERROR=ON >/dev/null || exit 1
cmake --build "$build_dir" -j"$(nproc)" || exit 1

if [ $# -gt 0 ]; then
  tests=("$@")
else
  tests=()
  for exe in "$build_dir"/tests/*_test; do
    name=$(basename "$exe")
    [ -e "tests/e2e/$name.cpp" ] && continue
    [ -x "$exe" ] && tests+=("$name")
  done
fi

log_dir="$build_dir/valgrind"
mkdir -p "$log_dir"

export QT_QPA_PLATFORM=offscreen
# glib's slice allocator hides frees from memcheck; plain malloc keeps it honest.
export G_SLICE=always-malloc
export G_DEBUG=gc-friendly
# QRegularExpression compiles patterns to machine code (PCRE2 JIT); memcheck
# cannot see through that code and reports its reads as uninitialised.
export QT_ENABLE_REGEXP_JIT=0

vg=(valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite
    --show-leak-kinds=definite --error-exitcode=99 --num-callers=30
    --suppressions="$supp")

leaky=()
failed=()
for name in "${tests[@]}"; do
  exe="$build_dir/tests/$name"
  if [ ! -x "$exe" ]; then
    echo "no such test executable: $exe" >&2
    failed+=("$name")
    continue
  fi
  log="$log_dir/$name.log"
  start=$(date +%s)
  "${vg[@]}" --log-file="$log" "$exe" --gtest_brief=1 >"$log_dir/$name.out" 2>&1
  rc=$?
  secs=$(( $(date +%s) - start ))
  summary=$(grep -E "ERROR SUMMARY" "$log" | tail -1 | sed 's/^==[0-9]*== //')
  definite=$(grep -E "definitely lost:" "$log" | tail -1 | sed 's/^==[0-9]*== *//')
  printf '%-36s rc=%-3s %4ss  %s | %s\n' "$name" "$rc" "$secs" "${definite:-no leak summary}" "$summary"
  if [ "$rc" -eq 99 ]; then
    leaky+=("$name")
  elif [ "$rc" -ne 0 ]; then
    failed+=("$name")
  fi
done

echo
if [ ${#leaky[@]} -gt 0 ]; then
  echo "memcheck errors or definite leaks in: ${leaky[*]} (see $log_dir/<test>.log)"
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "tests failed under valgrind: ${failed[*]} (see $log_dir/<test>.out)"
fi
[ ${#leaky[@]} -gt 0 ] && exit 99
[ ${#failed[@]} -gt 0 ] && exit 1
echo "no memcheck errors and no definite leaks"
exit 0
