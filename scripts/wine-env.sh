# Sourced by every script that runs a Windows program: the project's Wine session helpers.
#   . scripts/wine-env.sh
#   wine_env [PREFIX [DLLPATH]]   the environment of the project's Wine (sourcing alone sets
#                                 the defaults: build/wine-prefix, build/wine-cache/dllpath);
#                                 where 32-bit code is emulated, it also preloads the
#                                 project's mmap fix into every process (wine32_preload)
#   winpath PATH                  PATH as Wine sees it (Z: is the root): /a/b -> Z:\a\b
#   wine32_mode                   how Wine runs 32-bit programs here: real, emulated or none
#   wine32_skip EXE [WHAT]        true, after printing the reason as "SKIP: ..." lines, when
#                                 EXE is a 32-bit program that this machine's Wine cannot run
#                                 (every mode that runs one also draws it); the caller then
#                                 exits 77
#   gui_prefix PREFIX [DPI [WxH]] creates the GUI sessions' prefix once, under a lock
#                                 (scripts/wine-prefix.sh --gui; a DPI scales its display)
# DLLPATH stays empty: Debian's 32-bit Wine needs none.
_kstr_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
_kstr_root=$(cd "$_kstr_scripts/.." && pwd)
wine_env() {
    export WINEPREFIX=${1:-$_kstr_root/build/wine-prefix}
    export WINEDLLPATH=${2:-$_kstr_root/build/wine-cache/dllpath}
    export WINEDEBUG=${WINEDEBUG:--all}
    # No .NET or HTML engine installers, no desktop menu entries.
    export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
    export WINEARCH=win64
    if [ "$(wine32_mode)" = emulated ]; then
        case ":${LD_PRELOAD:-}:" in
            *":$(wine32_preload):"*) ;;
            *) export LD_PRELOAD=$(wine32_preload)${LD_PRELOAD:+:$LD_PRELOAD} ;;
        esac
    fi
}

winpath() { local p; p=$(readlink -m "$1"); p=${p//\//\\}; printf 'Z:%s' "$p"; }

#   real      the kernel runs 32-bit x86 code and Debian's 32-bit Wine (wine32:i386) is
#             installed: 32-bit programs run like 64-bit ones, windows, bitmaps, Chinese text
#             and the shell's folder browser included
#   emulated  the same Wine, but the kernel cannot run 32-bit code and qemu-user does, through
#             binfmt_misc (scripts/bootstrap.sh sets it up): everything runs and draws, slower
#   none      no 32-bit Wine can run here (no 32-bit x86 code at all, or wine32:i386 missing)
wine32_mode() {
    local cpu
    cpu=$("$_kstr_scripts/cpu32.sh")
    if [ "$cpu" = none ] || [ ! -x /usr/lib/wine/wine ] ||
       ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
        echo none
    elif [ "$cpu" = emulated ] && [ -f "$_kstr_root/build/wine-cache/preload/lib/i386-linux-gnu/kstr-noreplace.so" ]; then
        echo emulated
    elif [ "$cpu" = emulated ]; then
        # Without the mmap fix every 32-bit process spends about 50 s before it starts.
        echo none
    else
        echo real
    fi
}

# The LD_PRELOAD entry of the mmap fix (tools/wine32-emulation/): ld.so's $LIB picks the
# 32-bit library in 32-bit processes and an empty one of the same name in 64-bit ones.
wine32_preload() { printf '%s' "$_kstr_root/build/wine-cache/preload/\$LIB/kstr-noreplace.so"; }

wine32_skip() {
    local exe=$1 what=${2:-$1} why
    # "PE32+ executable" is a 64-bit program: it always runs.
    file -b "$exe" 2>/dev/null | grep -q "PE32 executable" || return 1
    [ "$(wine32_mode)" = none ] || return 1
    case $("$_kstr_scripts/cpu32.sh") in
        none) why="the kernel cannot execute 32-bit x86 code and no qemu-user emulation is registered" ;;
        emulated) why="32-bit code is emulated, but the project's mmap fix is not built (scripts/bootstrap.sh)" ;;
        *) why="Debian's 32-bit Wine (wine32:i386) is not installed" ;;
    esac
    echo "SKIP: this machine cannot run 32-bit Windows programs, so Wine cannot run $what:"
    echo "SKIP: $why (scripts/bootstrap.sh sets it up where it can);"
    echo "SKIP: the same sources are tested in the x86_64 build."
    return 0
}

gui_prefix() {
    mkdir -p "$(dirname "$1")"
    flock "$1.lock" "$_kstr_scripts/wine-prefix.sh" --gui "$@" >/dev/null
}

wine_env
