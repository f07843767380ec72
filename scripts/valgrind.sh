#!/usr/bin/env bash
# Builds the tests without sanitizers in build-valgrind and runs every test
# executable under memcheck, one valgrind run per executable.
#
# Usage: scripts/valgrind.sh [test-name ...]
#   With no names, every test executable. Where a test starts the real
#   program, memcheck follows it into the program too (not into shells,
#   scripts or system tools). The crash and process-life tests are the
#   exceptions: they kill the program at random moments, or time how promptly
#   it ends, sooner than the program can start under memcheck, so there only
#   the test itself runs under memcheck.
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
cmake --build "$build_dir" -j"$(nproc)" >"$build_dir/build.log" 2>&1 || { cat "$build_dir/build.log"; exit 1; }

if [ $# -gt 0 ]; then
  tests=("$@")
else
  tests=()
  for exe in "$build_dir"/tests/*_test; do
    name=$(basename "$exe")
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
  rm -f "$log" "$log_dir/$name".*.log
  children=(--trace-children=yes --trace-children-skip='/bin/*,/usr/*,*.sh,*.py'
            --log-file="$log_dir/$name.%p.log")
  case "$name" in
    crash_consistency_test | process_life_test)
      children=(--trace-children=no --log-file="$log_dir/$name.0.log") ;;
  esac
  start=$(date +%s)
  "${vg[@]}" "${children[@]}" "$exe" --gtest_brief=1 >"$log_dir/$name.out" 2>&1
  rc=$?
  secs=$(( $(date +%s) - start ))
  # One log per process memcheck ran, the test's own and any program it
  # started; they are joined into one, in the order of their pids.
  mapfile -t logs < <(ls "$log_dir/$name".*.log 2>/dev/null | sort -t. -k2 -n)
  [ ${#logs[@]} -gt 0 ] && cat "${logs[@]}" >"$log" && rm -f "${logs[@]}"
  errors=$(grep -h "ERROR SUMMARY:" "$log" 2>/dev/null | awk '{n += $4} END {print n + 0}')
  lost=$(grep -h "definitely lost:" "$log" 2>/dev/null | awk '{gsub(",", "", $4); n += $4} END {print n + 0}')
  # A program memcheck found at fault fails the run even if the test passed.
  [ "$errors" -gt 0 ] && rc=99
  printf '%-32s rc=%-3s %4ss  %2s processes, %s errors, %s bytes definitely lost\n' \
    "$name" "$rc" "$secs" "${#logs[@]}" "$errors" "$lost"
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
