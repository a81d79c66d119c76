#!/usr/bin/env bash
# Runs a Windows test program through the emulator given as the first argument. GoogleTest ends
# the lines of its test list with CR LF on Windows, and CMake's test discovery splits at LF only,
# so the list alone is passed through with the CRs removed; test runs go through untouched.
set -o pipefail
if [[ " $* " == *" --gtest_list_tests "* ]]; then
  "$@" | tr -d '\r'
else
  exec "$@"
fi
