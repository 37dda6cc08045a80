#!/usr/bin/env bash
# The developers' scripts as a developer calls them.
#
#   test_scripts.sh SOURCE_DIR CMAKE GENERATOR
#
# scripts/fuzz takes its target and its time in either order and refuses what is neither;
# configuring the project with its tests on fails loudly when the decoder's comparison
# library (libstorm-dev) is missing, instead of quietly building fewer tests.
set -uo pipefail
source_dir=$1
cmake=$2
generator=$3
failures=0

fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# expect_output WHAT EXPECTED COMMAND...: COMMAND ends with status 0 and prints EXPECTED.
expect_output() {
  local what=$1 expected=$2
  shift 2
  local out
  out=$("$@" 2>&1)
  local status=$?
  [ "$status" -eq 0 ] || fail "$what: exit status $status: $out"
  [ "$out" = "$expected" ] || fail "$what: printed '$out', not '$expected'"
}

fuzz="$source_dir/scripts/fuzz"
expect_output "target, then --dry-run" "fuzz_expand for 60 s" "$fuzz" expand --dry-run
expect_output "target, then seconds" "fuzz_expand for 5 s" "$fuzz" --dry-run expand 5
expect_output "seconds, then targets" "fuzz_datafile for 5 s
fuzz_receive for 5 s" "$fuzz" 5 datafile receive --dry-run
out=$("$fuzz" --dry-run expand garbage 2>&1)
status=$?
[ "$status" -eq 2 ] || fail "a wrong argument: exit status $status, not 2"
case "$out" in
  *"'garbage' is neither a target nor a number of seconds"*"usage: scripts/fuzz"*) ;;
  *) fail "a wrong argument: no usage: $out" ;;
esac

# A library and a header that are not there, as a machine without libstorm-dev (or a build
# folder whose cached paths outlived the package) has them.
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
out=$("$cmake" -S "$source_dir" -B "$build" -G "$generator" -DQUELLSO_BENCH=OFF \
      -DSTORM_LIB="$build/missing/libstorm.so" -DSTORM_INCLUDE="$build/missing" 2>&1)
status=$?
[ "$status" -ne 0 ] || fail "configuring without libstorm-dev succeeded"
case "$out" in
  *"libstorm-dev) is missing"*"-DQUELLSO_TESTS=OFF"*) ;;
  *) fail "configuring without libstorm-dev did not say so: $out" ;;
esac

[ "$failures" -eq 0 ] && echo "scripts: all checks passed"
exit "$failures"
