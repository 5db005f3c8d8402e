#!/usr/bin/env bash
# demo.sh BUILD_DIR: kacutil on a sandbox agent installation, with the stand-in daemon
# installed and started as the service "KaCtrl". ./ka demo runs it after the build, with
# the build tree's Wine prefix exported and a persistent wineserver running.
set -euo pipefail

if [ $# -ne 1 ] || [ -z "${WINEPREFIX:-}" ]; then
    echo "usage: tools/demo.sh BUILD_DIR, with the Wine prefix set up (run ./ka demo)" >&2
    exit 2
fi

build=$(realpath "$1")
bin="$build/bin"
wine=/usr/lib/wine/wine64
sandbox="$build/demo"

winpath() { echo "Z:${1//\//\\}"; }

# Wine's programs end their lines with CR LF; the terminal wants LF.
wine_run() {
    "$wine" "$@" </dev/null 2>&1 | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

standin() { wine_run "$bin/kacd-standin.exe" "$@"; }

# An argument as a shell user would type it.
shown() {
    if [[ $1 =~ ^[][A-Za-z0-9_./:=%-]+$ ]]; then printf '%s' "$1"; else printf "'%s'" "$1"; fi
}

# show EXPLANATION ARGS...: the explanation, the command line, what kacutil says, its exit code.
show() {
    local explanation=$1 line="\$ kacutil" arg rc=0
    shift
    for arg in "$@"; do line+=" $(shown "$arg")"; done
    printf '\n# %s\n%s\n' "$explanation" "$line"
    wine_run "$bin/kacutil.exe" "$@" || rc=$?
    echo "(exit code $rc)"
}

make_sandbox() {
    rm -rf "$sandbox"
    mkdir -p "$sandbox/install/bin" "$sandbox/data/tmp" "$sandbox/data/log" "$sandbox/data/config"
    cat >"$sandbox/data/config/KaAgent.ini" <<'EOF'
; The sandbox agent's settings: one section per configuration namespace.
[ctrl.env]
; Variables every child command of the control daemon gets.
KA_DEMO_LEVEL=2
KA_DEMO_PATH=C:\Tools;C:\KaAgent\bin
[ctrl.env.append]
; Text put behind a variable's value; an entry it already holds is kept once.
KA_DEMO_PATH=c:/tools;C:\KaAgent\lib
[ctrl.sudo]
KA_SUDO=runas /user:KaAgent
[sec.core]
CORE_ID=demo-core-0001
[lnk.http]
; The status pings give up quickly when nothing answers.
CONNECT_TIMEOUT=2000
RECEIVE_TIMEOUT=2000
EOF
    export KA_INSTALL_DIR KA_DATA_DIR KA_CONFIG_FILE
    KA_INSTALL_DIR=$(winpath "$sandbox/install")
    KA_DATA_DIR=$(winpath "$sandbox/data")
    KA_CONFIG_FILE=$(winpath "$sandbox/data/config/KaAgent.ini")
}

remove_service() {
    standin remove >/dev/null || echo "demo: the service KaCtrl could not be removed" >&2
}

main() {
    make_sandbox
    echo "Sandbox agent installation in $sandbox:"
    echo "  KA_INSTALL_DIR=$KA_INSTALL_DIR"
    echo "  KA_DATA_DIR=$KA_DATA_DIR"
    echo "  KA_CONFIG_FILE=$KA_CONFIG_FILE"

    trap remove_service EXIT
    echo
    echo "# The stand-in daemon becomes the service KaCtrl: port 80 and a free port, published in kacd.port."
    standin install --http80 --port 0 --portfile "$(winpath "$sandbox/data/tmp/kacd.port")"
    standin start

    show "The daemon is active and answers at both addresses: exit code 0." status
    show "The same answers as an XML document under the prefix kac, for scripts." status --xml
    show "The table and the answers as one JSON object, for ConvertFrom-Json or jq." status --json
    show "The address of the daemon's server, with the port it published." uri
    show "Directory variables resolve against the sandbox installation." resolve '$LogDir\System.txt'
    show "A child command gets ctrl.env and ctrl.env.append; the repeated C:\\Tools entry is kept once." \
        env --append -- cmd /c echo KA_DEMO_PATH=%KA_DEMO_PATH%
    show "Pause the daemon: service control code 2." service KaCtrl 2
    show "The service reports paused, but the daemon keeps its mutex and its listeners, so it still counts as active and answering." status

    echo
    echo "# Stop and remove the service."
    standin stop
    standin remove
    trap - EXIT
    echo "The service KaCtrl is stopped and removed; the sandbox stays in $sandbox."
}

main
