# Sourced by the scripts that build examples against an installed SDK: work is a temporary
# folder removed on exit, the SDK from build tree $1 installed into $work/sdk.

set -euo pipefail
build=$1
top=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sdk=$work/sdk
cmake --install "$build" --prefix "$sdk" >/dev/null

# build_with_sdk SOURCE BINARY CMAKE-FLAGS: builds the example in SOURCE with MinGW-w64
# against the SDK alone (not the build tree).
build_with_sdk() {
    cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release "$3" \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_FIND_ROOT_PATH="$sdk" -DCMAKE_PREFIX_PATH="$sdk" >/dev/null
    cmake --build "$2" >/dev/null
}

# The sandbox installation the examples run on.
winpath() { echo "Z:${1//\//\\}"; }
mkdir -p "$work/install" "$work/data"
export KA_INSTALL_DIR=$(winpath "$work/install") KA_DATA_DIR=$(winpath "$work/data")
export KA_CONFIG_FILE=$(winpath "$work/KaAgent.ini")
