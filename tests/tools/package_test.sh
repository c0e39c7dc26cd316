#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it into a scratch root and checks it:
# layout, the installed documents and their links, the programs' hardening, declared
# dependencies against what the binaries and the engine plug-ins need, the menu entry, and a
# real start of the installed launcher (run under an X server) that a client reaches and
# SIGTERM ends cleanly.
#   package_test.sh BUILD_DIR [CPACK]
set -uo pipefail

build=$1
cpack=${2:-cpack}
source=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/velquin-package-XXXXXX")
player=""
# shellcheck source=checks.sh
. "$(dirname "$0")/checks.sh"

cleanup() {
    if [[ -n $player ]] && kill -0 "$player" 2>/dev/null; then
        kill -KILL "$player"
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# ---- build and unpack ---------------------------------------------------------------------
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
debs=("$scratch"/out/velquin_*.deb)
if [[ ! -f ${debs[0]} ]]; then
    cat "$scratch/cpack.log"
    echo "FAIL: no velquin_*.deb made"
    exit 1
fi
deb=${debs[0]}
echo "package: ${deb##*/} ($(stat -c %s "$deb") bytes)"
root=$scratch/root
dpkg -x "$deb" "$root"
lib=$root/usr/lib/velquin

# ---- layout -------------------------------------------------------------------------------
for file in velquin velquin-ctl; do
    check "$file in /usr/lib/velquin" test -x "$lib/$file"
done
for file in plugins.cfg display.cfg VelquinCore.zip void.zip remote-control.cmd; do
    check "$file in /usr/lib/velquin" test -f "$lib/$file"
done
check "velquin-pack in /usr/lib/velquin" test -x "$lib/velquin-pack"
check "/usr/bin/velquin-pack runs the installed converter" \
    test "$(readlink -f "$root/usr/bin/velquin-pack")" = "$(readlink -f "$lib/velquin-pack")"
for file in frames/frame-000.png demo/show.cmd samples/robot.zip markers/letter-v.pat; do
    check "the demo's $file in /usr/lib/velquin" test -f "$lib/$file"
done
doc=$root/usr/share/doc/velquin
for file in copyright changelog.gz README.md docs/protocol.md docs/markers.md docs/content.md docs/demo.png \
    clients/python/README.md; do
    check "$file in /usr/share/doc/velquin" test -f "$doc/$file"
done
check "velquin-console and its page in /usr/lib/velquin" test -x "$lib/velquin-console" -a -f "$lib/console/index.html"
# The documents keep the source tree's folders: every link and the README's picture work.
check "the installed documents' links lead to installed files" python3 "$source/tests/docs/links_test.py" "$doc"
# The programs are built with Debian's hardening flags (control-flow protection is not among
# the flags Debian 12 gives).
for program in velquin velquin-ctl velquin-marker velquin-pack velquin-calibrate velquin-console; do
    check "hardening-check $program" hardening-check --nocfprotection "$lib/$program"
done
for program in velquin velquin-ctl velquin-marker velquin-pack velquin-calibrate velquin-console; do
    check "manual page of $program" bash -c "zcat '$root/usr/share/man/man1/$program.1.gz' | grep -q '^\.SH NAME'"
done
if command -v lintian >/dev/null; then
    # Pedantic and informational tags too: the hardening tags (bindnow, fortify) are of the latter.
    lintian --display-info --pedantic --tag-display-limit 0 "$deb" >"$scratch/lintian.txt" 2>&1
    cat "$scratch/lintian.txt"
    check "lintian reports no errors" bash -c "! grep -q '^E:' '$scratch/lintian.txt'"
    check "lintian finds every program hardened" bash -c "! grep -q 'hardening-no-' '$scratch/lintian.txt'"
fi
check "launcher /usr/bin/velquin is a script" grep -q '^#!/bin/sh' "$root/usr/bin/velquin"
check "/usr/bin/velquin-ctl runs the installed client" \
    test "$(readlink -f "$root/usr/bin/velquin-ctl")" = "$(readlink -f "$lib/velquin-ctl")"
desktop=$root/usr/share/applications/velquin.desktop
check "menu entry" test -f "$desktop"
if command -v desktop-file-validate >/dev/null; then
    check "menu entry is valid" desktop-file-validate "$desktop"
fi
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
read -r exec_program exec_file <<<"$exec_line"
settings_line=$(sed -n 's/^Exec=//p' "$desktop" | sed -n 2p)
check "menu entry's second action opens the settings ($settings_line)" \
    test "$settings_line" = "$exec_program --settings $exec_file"
check "menu entry starts the launcher ($exec_line)" test -x "$root/usr/bin/$exec_program"
check "menu entry's command file is installed" test -f "$root$exec_file"
check "menu entry's command file opens the remote control" grep -q '^project.net.init(' "$root$exec_file"

# ---- dependencies -------------------------------------------------------------------------
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
declared=" $(echo "$depends" | tr ',|' '\n' | sed 's/(.*)//; s/[[:space:]]//g' | sort -u | tr '\n' ' ') "

# The package that ships a file, whichever of /usr/lib and /lib the path was found under.
owner_of() {
    local path=$1 candidate
    for candidate in "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr$path"; do
        if dpkg-query -S "$candidate" 2>/dev/null | head -n 1 | cut -d: -f1; then
            return 0
        fi
    done
    return 1
}
needs_declared() {
    local what=$1 path=$2 package
    if ! package=$(owner_of "$path") || [[ -z $package ]]; then
        fail "$what: $path belongs to no package"
    elif [[ $declared != *" $package "* ]]; then
        fail "$what needs $path from $package, which the package does not declare"
    fi
}

while IFS= read -r -d '' file; do
    if [[ $(head -c 4 "$file" | od -An -c | tr -d ' ') != 177ELF ]]; then
        continue
    fi
    name=${file#"$root"}
    if ldd "$file" | grep -q 'not found'; then
        fail "$name: $(ldd "$file" | grep 'not found' | tr -s ' \t' ' ')"
    fi
    # Direct needs only: what those libraries need in turn is their packages' business.
    libraries=$(ldd "$file")
    while read -r soname; do
        library=$(awk -v name="$soname" '$1 == name && $2 == "=>" { print $3 }
            $1 ~ /^\// && substr($1, length($1) - length(name)) == "/" name { print $1 }' <<<"$libraries")
        if [[ -z $library ]]; then
            fail "$name: $soname not resolved"
        else
            needs_declared "$name" "$library"
        fi
    done < <(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
done < <(find "$root" -type f -print0)

# Plug-ins the engine loads by name from plugins.cfg (the versioned file it opens on Linux).
folder=$(sed -n 's/^PluginFolder=//p' "$lib/plugins.cfg")
check "plugins.cfg names an existing plug-in folder ($folder)" test -d "$folder"
while read -r plugin; do
    found=("$folder/$plugin".so.*)
    if [[ ! -f ${found[0]} ]]; then
        fail "plug-in $plugin not in $folder"
    else
        needs_declared "plug-in $plugin" "${found[0]}"
    fi
done < <(sed -n 's/^Plugin=//p' "$lib/plugins.cfg")
check "xdg-utils declared (file actors open files with it)" test "${declared#* xdg-utils }" != "$declared"
for package in $declared; do
    if [[ $package == *-dev ]]; then
        fail "depends on the development package $package"
    fi
done
echo "checked the dependencies"

# ---- the installed launcher ---------------------------------------------------------------
check "velquin --version" bash -c "'$root/usr/bin/velquin' --version | grep -q '^velquin [0-9]'"
check "velquin-ctl --version" bash -c "'$root/usr/bin/velquin-ctl' --version | grep -q '^velquin-ctl [0-9]'"
state=$scratch/state
check "velquin --help names the per-user folder" \
    bash -c "XDG_STATE_HOME='$state' '$root/usr/bin/velquin' --help | grep -qF '$state/velquin'"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$scratch/cwd" "$scratch/tmp"
echo "project.net.init($port);" >"$scratch/cwd/start.cmd"
(
    cd "$scratch/cwd" || exit 1
    # A relative command file: the launcher must find it although the player runs elsewhere.
    exec env XDG_STATE_HOME="$state" TMPDIR="$scratch/tmp" VELQUIN_NO_CONFIG_DIALOG=1 LP_NUM_THREADS=0 \
        "$root/usr/bin/velquin" start.cmd >"$scratch/player.out" 2>&1
) &
player=$!

for _ in $(seq 600); do
    grep -q '^Scene: working at ' "$scratch/player.out" && break
    kill -0 "$player" 2>/dev/null || break
    sleep 0.1
done
check "player says 'Scene: working at '" grep -q '^Scene: working at ' "$scratch/player.out"

# A reply also shows that the main loop runs (commands run between frames).
reply=""
for _ in $(seq 300); do
    if reply=$("$root/usr/bin/velquin-ctl" -p "$port" -t 20 send 'project.title.set("Installed");' \
        'project.title.get();' 2>/dev/null); then
        break
    fi
    kill -0 "$player" 2>/dev/null || break
    sleep 0.1
done
check "installed velquin-ctl drives the installed player" test "$reply" = $'ok\n"Installed"'

folder=$state/velquin
check "log.txt written to the per-user folder" test -s "$folder/log.txt"
check "display.cfg is the user's own copy" bash -c "test -f '$folder/display.cfg' && test ! -L '$folder/display.cfg'"
check "plugins.cfg is linked" test -L "$folder/plugins.cfg"

kill -TERM "$player"
wait "$player"
status=$?
player=""
check "SIGTERM ends the player with status 0 (got $status)" test "$status" -eq 0
check "work directory removed" bash -c "! ls -d '$scratch'/tmp/Velquin-* >/dev/null 2>&1"

# ---- the demo from the installed package -------------------------------------------------
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
(
    cd "$scratch/cwd" || exit 1
    exec env XDG_STATE_HOME="$state" TMPDIR="$scratch/tmp" VELQUIN_NO_CONFIG_DIALOG=1 LP_NUM_THREADS=0 \
        VELQUIN_DEMO_PORT="$port" VELQUIN_CONSOLE_LISTEN=127.0.0.1:0 "$root/usr/bin/velquin" --demo >"$scratch/demo.out" 2>&1
) &
player=$!
actors=""
for _ in $(seq 300); do
    actors=$("$root/usr/bin/velquin-ctl" -p "$port" -t 20 send 'project.actors.mesh.getList();' \
        'project.videocapture.isCapturing();' 2>/dev/null) || true
    [[ $actors == *'"robot"'* ]] && break
    kill -0 "$player" 2>/dev/null || break
    sleep 0.2
done
check "velquin --demo plays the recording and the show (got: ${actors//$'\n'/ })" \
    test "$actors" = $'"robot"\ntrue'
page=$(sed -n 's/^velquin-console: the page is at //p' "$scratch/demo.out")
check "velquin --demo prints the console's address ($page)" test -n "$page"
check "the demo's console serves its page with the token" curl -sf -o /dev/null "$page"
check "the demo's console refuses a request without the token" \
    test "$(curl -s -o /dev/null -w '%{http_code}' "${page%%\?*}")" = 401
kill -TERM "$player"
wait "$player"
status=$?
player=""
check "SIGTERM ends the demo with status 0 (got $status)" test "$status" -eq 0
check "the demo's work directory removed" bash -c "! ls -d '$scratch'/tmp/Velquin-* >/dev/null 2>&1"
check "the demo's console ended with it" bash -c "! pgrep -f -- '--player 127[.]0[.]0[.]1:$port' >/dev/null"
check "the demo's command file removed" bash -c "! ls '$scratch'/tmp/velquin-demo-* >/dev/null 2>&1"

if ((failures > 0)); then
    echo "--- player output"
    cat "$scratch/player.out"
    if [[ -f $scratch/demo.out ]]; then
        echo "--- demo output"
        cat "$scratch/demo.out"
    fi
    echo "$failures check(s) failed"
    exit 1
fi
echo "package checks passed"
