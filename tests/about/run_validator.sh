#!/bin/sh
# Runs a desktop-file validator on a file; any error or warning fails the test.
# Exits 77, which the test marks as skipped, when the validator isn't installed.
#   run_validator.sh TOOL [ARGUMENT...]
tool=$1
if ! command -v "$tool" >/dev/null 2>&1; then
  echo "$tool is not installed (tools/setup.sh installs it): not validated, skipped"
  exit 77
fi
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
[ "$status" -eq 0 ] || exit "$status"
if printf '%s\n' "$output" | grep -Eq ': (error|warning):'; then
  exit 1
fi
exit 0
