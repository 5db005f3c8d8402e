#!/usr/bin/env bash
# Installs the SDK from build tree $1 into a temporary prefix, builds the example consumer
# against that prefix alone (not the build tree) and runs it under Wine on a sandbox
# installation. Runs inside ctest, which already has Wine's environment.
set -euo pipefail
build=$1
top=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/sdk" >/dev/null
# Warnings are errors, as in callers' builds: the header must not warn in any include order.
cmake -S "$top/examples/consumer" -B "$work/consumer" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_FIND_ROOT_PATH="$work/sdk" -DCMAKE_PREFIX_PATH="$work/sdk" >/dev/null
cmake --build "$work/consumer" >/dev/null

winpath() { echo "Z:${1//\//\\}"; }
mkdir -p "$work/install" "$work/data"
export KA_INSTALL_DIR=$(winpath "$work/install") KA_DATA_DIR=$(winpath "$work/data")
export KA_CONFIG_FILE=$(winpath "$work/KaAgent.ini")
output=$(/usr/lib/wine/wine64 "$work/consumer/consumer.exe" | tr -d '\r')
echo "$output"

expected_log="log file: ${KA_DATA_DIR//\\//}/log/System.txt"
grep -qx "daemon status: \(0\|6[123]\)" <<<"$output"
grep -qxF "$expected_log" <<<"$output"
grep -qxF "path: C:/Tools;D:/Bin" <<<"$output"
grep -qx "seconds since 1970: [1-9][0-9]*" <<<"$output"
echo "consumer built against the installed SDK and ran"
