#!/usr/bin/env bash
# Installs the SDK from build tree $1 into a temporary prefix and builds the C example with
# every toolchain a caller may use: as C by MinGW-w64 GCC (through the SDK's CMake package)
# and by clang, and the MSVC way (clang for x86_64-pc-windows-msvc, lld-link, the MSVC-format
# import library, no MinGW runtime); then the Go example (GOOS=windows, no cgo). Each runs
# under Wine on a sandbox installation and must print what it was answered.
source "$(dirname "$0")/../support/sdk.sh"
c_flags=(-std=c99 -pedantic -Wall -Wextra -Werror -I"$sdk/include")

build_with_sdk "$top/examples/c" "$work/gcc" -DCMAKE_C_FLAGS="-pedantic -Wall -Wextra -Werror"

# clang finds the MinGW-w64 runtime libraries in GCC's POSIX-threads directory.
gcc_root=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix | head -n 1)
clang --target=x86_64-w64-mingw32 "${c_flags[@]}" "$top/examples/c/consumer.c" \
    "$sdk/lib/KaCtrlUtilsC.dll.a" -L"$gcc_root" -o "$work/consumer-clang.exe"

# The MSVC way: MinGW-w64's headers for <windows.h> (read as GCC would), kernel32's import
# library made from the four functions the program calls, and no C runtime at all.
clang --target=x86_64-pc-windows-msvc -fgnuc-version=4.2.1 -fno-stack-protector \
    "${c_flags[@]}" -isystem /usr/share/mingw-w64/include -c "$top/examples/c/consumer.c" \
    -o "$work/consumer.obj"
printf 'LIBRARY kernel32.dll\nEXPORTS\nExitProcess\nGetStdHandle\nWideCharToMultiByte\nWriteFile\n' \
    >"$work/kernel32.def"
llvm-dlltool -m i386:x86-64 -d "$work/kernel32.def" -l "$work/kernel32.lib"
lld-link /nologo /nodefaultlib /subsystem:console /entry:ConsumerEntry \
    /out:"$work/consumer-msvc.exe" "$work/consumer.obj" "$sdk/lib/KaCtrlUtilsC.lib" \
    "$work/kernel32.lib"
imports=$(x86_64-w64-mingw32-objdump -p "$work/consumer-msvc.exe" | sed -n 's/^\s*DLL Name: //p' | sort | tr '\n' ' ')
[ "$imports" = "KaCtrlUtilsC.dll kernel32.dll " ] || { echo "MSVC-way imports: $imports"; exit 1; }

(cd "$top/examples/go" && GOOS=windows GOARCH=amd64 CGO_ENABLED=0 GO111MODULE=off \
    GOCACHE="$work/gocache" GOPATH="$work/gopath" go build -o "$work/consumer-go.exe" main.go)

export WINEPATH=$(winpath "$sdk/bin")
log="log file: ${KA_DATA_DIR//\\//}/log/System.txt"

# expect OUTPUT LINE...: each line must be a whole line of OUTPUT (a pattern).
expect() {
    local output=$1 line
    shift
    for line in "$@"; do
        grep -qx -- "$line" <<<"$output" || { echo "missing: $line"; exit 1; }
    done
}

for exe in gcc/consumer.exe consumer-clang.exe consumer-msvc.exe; do
    echo "== $exe"
    output=$(/usr/lib/wine/wine64 "$work/$exe" | tr -d '\r')
    echo "$output"
    expect "$output" "daemon status: \(0\|6[123]\)" "$log" "path: C:/Tools;D:/Bin" \
        "error 2: ..* (2)" "buffer too small, units needed: 12" "name column: kacd       " \
        "failure number: 1" "failure: KaCtrl(1): Not a boolean value 'yes'\." \
        'document: <?xml version="1.0" encoding="UTF-8"?>' \
        "<kac:Status [^>]*><kac:Pid>4711</kac:Pid></kac:Status>" \
        "seconds since 1970: [1-9][0-9]*"
done

echo "== consumer-go.exe"
output=$(/usr/lib/wine/wine64 "$work/consumer-go.exe" | tr -d '\r')
echo "$output"
tmp="${KA_DATA_DIR//\\//}/tmp"
expect "$output" "daemon status: \(0\|6[123]\)" "$log" "path: C:/Tools;D:/Bin" \
    "buffer of 4 too small, units needed: $((${#tmp} + 1))" "failure number: 1" \
    "failure: KaCtrl(1): Not a boolean value 'yes'\." "error 5: ..* (5)"
echo "the C interface served gcc, clang, an MSVC-way link and Go"
