#!/usr/bin/env bash
# Brings a Debian 12 machine (as root) to everything Sortella's build, tests
# and demo need. Idempotent, and quick when everything is already there.
set -euo pipefail

PACKAGES=(
    cmake g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
    g++-mingw-w64-i686 binutils-mingw-w64-i686
    wine wine32:i386 wine64 xvfb xauth locales fonts-ipafont-gothic imagemagick
    qemu-user-static zip unzip python3 x11-utils file patch
    # The real POPFile's engine (Perl), for the test against it.
    libdbi-perl libdbd-sqlite3-perl libtimedate-perl libhtml-tagset-perl libhtml-template-perl
)

missing_packages() {
    local package
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            echo "$package"
    done
}

if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh must run as root (it installs Debian packages)." >&2
    exit 1
fi

# A mirror in the middle of a sync answers with index files of the wrong
# size, at times for days; apt-get update then fails for that index alone.
# After a few tries the install goes on with the lists it has, preferring
# the release itself over its updates, so that both architectures of a
# library are taken at the same version even when one architecture's
# security index is missing.
install_release=()
update_package_lists() {
    local attempt
    for attempt in 1 2 3; do
        apt-get update -q && return 0
        echo "apt-get update failed (try $attempt)" >&2
        [ "$attempt" -lt 3 ] && sleep $((attempt * 10))
    done
    echo "Going on with the package lists at hand, preferring bookworm itself." >&2
    install_release=(-t bookworm)
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    update_package_lists
fi
mapfile -t missing < <(missing_packages)
if [ "${#missing[@]}" -gt 0 ]; then
    update_package_lists
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${install_release[@]}" "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
fi

# Some kernels (paravirtualised guests among them) cannot run 32-bit x86
# programs, and 32-bit Wine is one. There, qemu's user-mode emulator runs
# them, registered as the handler of i386 ELF files.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    binfmt=/proc/sys/fs/binfmt_misc
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    if [ ! -e "$binfmt/qemu-i386" ]; then
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            > "$binfmt/register"
    fi
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 || {
        echo "This machine cannot run 32-bit x86 programs, even through qemu." >&2
        exit 1
    }
fi
