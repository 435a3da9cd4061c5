#!/usr/bin/env bash
# Runs a command (ctest) as one test run, then fails when the run left anything behind.
#   scripts/test-leftovers.sh COMMAND [ARG ...]
# The run gets a private temporary folder (TMPDIR) and a marker in its environment
# (ALLOC_TEST_RUN) that every process it starts inherits. Once the command has ended:
# a process that still carries the marker (an alloc-server a test did not stop, ...) is
# named and killed, an alloc* / pkg_test* entry still in the private folder is named;
# the folder is removed either way. Exits with the command's status, or 1 when it passed
# but left something behind. Runs of other worktrees on the same machine never match.
set -uo pipefail
run_dir=$(mktemp -d "${TMPDIR:-/tmp}/alloc-test-run-XXXXXX")
marker="alloc-test-run-$$-$RANDOM"
TMPDIR="$run_dir" ALLOC_TEST_RUN="$marker" "$@"
status=$?

left=0
for environ in /proc/[0-9]*/environ; do
  pid=${environ#/proc/}; pid=${pid%/environ}
  if grep -qxzF "ALLOC_TEST_RUN=$marker" "$environ" 2>/dev/null; then
    echo "test run left a process behind: $pid $(tr '\0' ' ' </proc/"$pid"/cmdline 2>/dev/null)" >&2
    kill -KILL "$pid" 2>/dev/null || true
    left=1
  fi
done
while IFS= read -r entry; do
  echo "test run left a temporary folder or file behind: $entry" >&2
  left=1
done < <(find "$run_dir" -mindepth 1 -maxdepth 1 \( -name 'alloc*' -o -name 'pkg_test*' \) 2>/dev/null)
rm -rf -- "$run_dir"

if [ "$status" -eq 0 ] && [ "$left" -ne 0 ]; then
  echo "FAILED: the test run left the processes or folders above behind" >&2
  status=1
fi
exit "$status"
