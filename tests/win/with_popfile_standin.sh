#!/usr/bin/env bash
# Runs one Windows test program under Wine beside a POPFile stand-in.
#
#   with_popfile_standin.sh STANDIN BUILD_DIR CLASSIFIER_FILE TEST_EXE [test args...]
#
# STANDIN is the native popfile-standin program; when it is missing it is
# built from standins/popfile into BUILD_DIR. The stand-in listens on free
# loopback ports with an empty spool and a fresh state directory. The test
# program learns where through the environment (Windows paths, as Wine
# sees the Linux files below Z:):
#   SORTELLA_POPFILE_HTTP   web interface port
#   SORTELLA_POPFILE_POP3   POP3 port
#   SORTELLA_POPFILE_KEY    the web interface's key
#   SORTELLA_POPFILE_STATE  state directory (requests/, reclassify.log, control)
#   SORTELLA_POPFILE_SPOOL  spool directory (one message per file)
# With SORTELLA_MOUNT_SMALL_DISK=1 in the environment it also mounts a 4 MB
# memory file system (as root) for a test that fills a disk, and names it in
#   SORTELLA_SMALL_DISK     its Windows path; unset when it could not be mounted
# The stand-in is stopped when the program ends; the state directory is
# kept when the program failed.
set -u
standin=$1 build_dir=$2 classifier=$3 test_exe=$4
shift 4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)

if [ ! -x "$standin" ]; then
    standin=$build_dir/popfile-standin
    if [ ! -x "$standin" ]; then
        echo "building the POPFile stand-in into $build_dir"
        cmake -S "$repo/standins/popfile" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
            cmake --build "$build_dir" --target popfile-standin -j2 >/dev/null || exit 1
    fi
fi

source "$repo/scripts/wine-env.sh"

work=$(mktemp -d /tmp/sortella-classifier.XXXXXX)
mkdir -p "$work/spool" "$work/state"
key=0f5e2a7c9b3d41e8a6c2d0b9e7f13a54
"$standin" --pop3-port 0 --http-port 0 --spool "$work/spool" --state-dir "$work/state" \
    --classifier "$classifier" --key "$key" >"$work/ports" 2>"$work/standin.err" &
pid=$!
small_disk=""
if [ "${SORTELLA_MOUNT_SMALL_DISK:-0}" = 1 ]; then
    mkdir -p "$work/disk"
    if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=4m tmpfs "$work/disk" 2>"$work/mount.err"; then
        small_disk=$work/disk
    else
        echo "no small disk: mount refused ($(cat "$work/mount.err" 2>/dev/null)); the disk-full case is skipped"
    fi
fi
# Stopped however this script ends (a test time-out kills the script).
trap 'kill "$pid" 2>/dev/null; [ -n "$small_disk" ] && umount "$small_disk"' EXIT
trap 'exit 143' TERM INT

for _ in $(seq 100); do
    grep -q '^http ' "$work/ports" 2>/dev/null && grep -q '^pop3 ' "$work/ports" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
http=$(awk '$1 == "http" {print $2}' "$work/ports")
pop3=$(awk '$1 == "pop3" {print $2}' "$work/ports")
if [ -z "$http" ] || [ -z "$pop3" ]; then
    echo "the POPFile stand-in did not start:"
    cat "$work/standin.err"
    kill "$pid" 2>/dev/null
    exit 1
fi

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# Wine passes variables of the Linux environment on to the program.
export SORTELLA_POPFILE_HTTP=$http SORTELLA_POPFILE_POP3=$pop3 SORTELLA_POPFILE_KEY=$key
export SORTELLA_POPFILE_STATE=$(windows_path "$work/state")
export SORTELLA_POPFILE_SPOOL=$(windows_path "$work/spool")
[ -n "$small_disk" ] && export SORTELLA_SMALL_DISK=$(windows_path "$small_disk")

bash "$repo/scripts/wine-run.sh" "$test_exe" "$@"
status=$?

kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
if [ -n "$small_disk" ]; then
    umount "$small_disk" && small_disk=""
fi
if [ "$status" -eq 0 ]; then
    rm -rf "$work"
else
    echo "stand-in state kept in $work"
fi
exit "$status"
