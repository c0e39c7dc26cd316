#!/bin/sh
# Starts the installed Velquin player. The player reads its own files (plugins.cfg, display.cfg,
# VelquinCore.zip, ...) from its current directory and writes log.txt there, but the installed
# folder belongs to root. So the player runs from a folder of the user's own,
# ${XDG_STATE_HOME:-~/.local/state}/velquin, which links to the installed files and holds the
# user's display.cfg (the configuration dialog saves it) and log.txt. A real file put there in
# place of a link (a calibrated camera_para.dat, say) is kept and used.
set -eu

installed=$(dirname "$(readlink -f "$0")")/../lib/velquin
if [ ! -x "$installed/velquin" ]; then
    echo "velquin: no player at $installed/velquin" >&2
    exit 1
fi
installed=$(cd "$installed" && pwd -P)
if [ $# -eq 1 ] && [ "$1" = --version ]; then
    exec "$installed/velquin" --version
fi
case ${XDG_STATE_HOME:-} in
/*) folder=$XDG_STATE_HOME/velquin ;;
*)
    if [ -z "${HOME:-}" ]; then
        echo "velquin: neither XDG_STATE_HOME nor HOME is set: no folder to run the player from" >&2
        exit 1
    fi
    folder=$HOME/.local/state/velquin
    ;;
esac

demo=""
if [ $# -eq 1 ]; then
    case $1 in
    --help)
        "$installed/velquin" --help
        cat <<TEXT

Installed launcher: the player runs from
  $folder
(\${XDG_STATE_HOME:-~/.local/state}/velquin), which links to the player's files in
  $installed
and keeps your own display.cfg and log.txt. A relative COMMAND-FILE is taken from
the directory velquin is started in.

  --demo        play the demo: recorded camera frames of two markers on a desk and a
                show sent over the remote control on port 4000 (VELQUIN_DEMO_PORT),
                with velquin-console's authoring page for it on 127.0.0.1:8080
                (VELQUIN_CONSOLE_LISTEN); the address to open is printed
TEXT
        exit 0
        ;;
    --demo)
        demo=${VELQUIN_DEMO_PORT:-4000}
        if "$installed/velquin-ctl" -p "$demo" -t 2 send 'project.title.get();' >/dev/null 2>&1; then
            echo "velquin: a player already listens on port $demo; end it, or set VELQUIN_DEMO_PORT" >&2
            exit 1
        fi
        commands=$(mktemp "${TMPDIR:-/tmp}/velquin-demo-XXXXXX")
        printf 'project.net.init(%s);\nproject.videocapture.init("File", "frames@30");\n' "$demo" >"$commands"
        set -- "$commands"
        ;;
    esac
fi
# A relative COMMAND-FILE is taken from where velquin was started; options, and the monitor
# number after --screen, pass as they are.
after_screen=no
for argument in "$@"; do
    shift
    case $after_screen/$argument in
    yes/* | */ | */-* | *//*) set -- "$@" "$argument" ;;
    *) set -- "$@" "$PWD/$argument" ;;
    esac
    after_screen=no
    if [ "$argument" = --screen ]; then
        after_screen=yes
    fi
done

if ! mkdir -p "$folder"; then
    echo "velquin: cannot create $folder" >&2
    exit 1
fi
for entry in "$installed"/*; do
    name=${entry##*/}
    case $name in
    display.cfg | log.txt) continue ;;
    esac
    if [ -d "$entry" ]; then
        # The player follows no link on its way into a folder (a recording played as a camera,
        # say): folders are real, of links to the installed files.
        if [ -L "$folder/$name" ]; then
            rm -f "$folder/$name"
        fi
        mkdir -p "$folder/$name"
        for file in "$entry"/*; do
            if [ ! -e "$folder/$name/${file##*/}" ] && [ ! -L "$folder/$name/${file##*/}" ]; then
                ln -s "$file" "$folder/$name/${file##*/}"
            fi
        done
    elif [ -L "$folder/$name" ] || [ ! -e "$folder/$name" ]; then
        ln -sfn "$entry" "$folder/$name"
    fi
done
# Links left by an older installation whose files are gone.
for entry in "$folder"/* "$folder"/*/*; do
    if [ -L "$entry" ] && [ ! -e "$entry" ]; then
        rm -f "$entry"
    fi
done
if [ ! -e "$folder/display.cfg" ] && [ -e "$installed/display.cfg" ]; then
    cp "$installed/display.cfg" "$folder/display.cfg"
    chmod u+w "$folder/display.cfg"
fi

cd "$folder"
if [ -z "$demo" ]; then
    exec "$installed/velquin" "$@"
fi

# The demo: the player with the recorded frames, and the show sent once it listens, as an
# authoring tool would send it; beside it the console, whose page drives the demo's player.
"$installed/velquin" "$@" &
player=$!
console=""
if [ -x "$installed/velquin-console" ]; then
    "$installed/velquin-console" --player "127.0.0.1:$demo" --listen "${VELQUIN_CONSOLE_LISTEN:-127.0.0.1:8080}" &
    console=$!
fi
trap 'kill -TERM $player $console 2>/dev/null' INT TERM
ctl() {
    "$installed/velquin-ctl" -p "$demo" -t 10 "$@"
}
sent=""
for _ in $(seq 300); do
    if ! kill -0 "$player" 2>/dev/null; then
        break
    fi
    if ctl send 'project.title.get();' >/dev/null 2>&1; then
        ctl upload "$installed/markers/letter-v.pat" >/dev/null &&
            ctl upload "$installed/markers/letter-f.pat" >/dev/null &&
            ctl upload "$installed/samples/robot.zip" >/dev/null &&
            ctl send -f "$installed/demo/show.cmd" >/dev/null && sent=yes
        break
    fi
    sleep 0.2
done
rm -f "$1"
if [ -z "$sent" ] && kill -0 "$player" 2>/dev/null; then
    echo "velquin: the demo's show could not be sent; the player runs without it" >&2
fi
# A signal ends the wait early: wait again until the player has cleaned up and ended.
status=0
while :; do
    wait "$player" && status=0 || status=$?
    kill -0 "$player" 2>/dev/null || break
done
if [ -n "$console" ]; then
    kill -TERM "$console" 2>/dev/null || true
    wait "$console" 2>/dev/null || true
fi
exit "$status"
