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
TEXT
        exit 0
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
    if [ -L "$folder/$name" ] || [ ! -e "$folder/$name" ]; then
        ln -sfn "$entry" "$folder/$name"
    fi
done
# Links left by an older installation whose files are gone.
for entry in "$folder"/*; do
    if [ -L "$entry" ] && [ ! -e "$entry" ]; then
        rm -f "$entry"
    fi
done
if [ ! -e "$folder/display.cfg" ] && [ -e "$installed/display.cfg" ]; then
    cp "$installed/display.cfg" "$folder/display.cfg"
    chmod u+w "$folder/display.cfg"
fi

cd "$folder"
exec "$installed/velquin" "$@"
