# Sourced: the environment every Wine run of the project uses.
#   SORTELLA_WINEPREFIX  the Wine prefix (default: in the user's cache, kept
#                        between runs because creating one takes minutes)
#
# The prefix is a 64-bit one, and the wineserver 64-bit Wine's: the DLL and
# the test programs are 32-bit and run in it as on 64-bit Windows, while
# Wine's own server, services and desktop run as 64-bit programs. Where
# 32-bit code runs only under qemu's emulation, that keeps Wine's session
# start and every request to its server out of the emulator (a session
# started in 95 s there instead of 584 s, the Windows tests ran twice as
# fast). A 32-bit prefix cannot be reused as a 64-bit one, hence the name.
export WINEARCH=win64
export WINEPREFIX=${SORTELLA_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/sortella/wineprefix-win64}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts when the prefix is made, and no desktop
# menu entries (each would be one more slow Wine start). The media, imaging,
# certificate and browser parts that the making of a prefix loads to
# register them are not used here either: left out, they save minutes of
# that making under emulation.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe,iexplore.exe,quartz,devenum,mp3dmod,qcap,qedit,winegstreamer,wineqtdecoder,winevulkan,windowscodecs,cryptdlg,cryptnet,msisip=}
# GetACP() answers 932 only under a Japanese locale.
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
# Under qemu's user-mode emulator 32-bit Wine needs the whole 32-bit address
# space reserved up front, or it cannot map its shared user data page.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0xffff0000}
# 1 where 32-bit Wine runs under qemu's user-mode emulator (a kernel that
# cannot run 32-bit programs; see scripts/setup.sh), else 0.
wine_emulated=0
if grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
    wine_emulated=1
fi
