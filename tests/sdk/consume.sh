#!/usr/bin/env bash
# Installs the SDK from build tree $1 into a temporary prefix, builds the example consumer
# against that prefix alone (not the build tree) and runs it under Wine on a sandbox
# installation. Runs inside ctest, which already has Wine's environment.
source "$(dirname "$0")/../support/sdk.sh"
# Warnings are errors, as in callers' builds: the header must not warn in any include order.
build_with_sdk "$top/examples/consumer" "$work/consumer" -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror"
output=$(/usr/lib/wine/wine64 "$work/consumer/consumer.exe" | tr -d '\r')
echo "$output"

expected_log="log file: ${KA_DATA_DIR//\\//}/log/System.txt"
grep -qx "daemon status: \(0\|6[123]\)" <<<"$output"
grep -qxF "$expected_log" <<<"$output"
grep -qxF "path: C:/Tools;D:/Bin" <<<"$output"
grep -qx "seconds since 1970: [1-9][0-9]*" <<<"$output"
echo "consumer built against the installed SDK and ran"
