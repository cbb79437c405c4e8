# Sourced by every script that runs a Windows program: the project's Wine session helpers.
#   . scripts/wine-env.sh
#   wine_env [PREFIX [DLLPATH]]   the environment of the project's Wine (sourcing alone sets
#                                 the defaults: build/wine-prefix, build/wine-cache/dllpath)
#   winpath PATH                  PATH as Wine sees it (Z: is the root): /a/b -> Z:\a\b
#   wine32_mode                   how Wine runs 32-bit programs here: real, wow64 or none
#   wine32_skip EXE run|draw [WHAT]
#                                 true, after printing the reason as "SKIP: ..." lines, when
#                                 EXE is a 32-bit program that this machine's Wine cannot run
#                                 (run) or cannot draw, open the folder browser for or fill
#                                 the progress window of (draw); the caller then exits 77
#   gui_prefix PREFIX [DPI [WxH]] creates the GUI sessions' prefix once, under a lock
#                                 (scripts/wine-prefix.sh --gui; a DPI scales its display)
# DLLPATH holds Wine's own 32-bit DLLs only where the bootstrap fell back to them (empty with
# Debian's 32-bit Wine).
_kstr_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
_kstr_root=$(cd "$_kstr_scripts/.." && pwd)
wine_env() {
    export WINEPREFIX=${1:-$_kstr_root/build/wine-prefix}
    export WINEDLLPATH=${2:-$_kstr_root/build/wine-cache/dllpath}
    export WINEDEBUG=${WINEDEBUG:--all}
    # No .NET or HTML engine installers, no desktop menu entries.
    export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
    export WINEARCH=win64
}
wine_env

winpath() { local p; p=$(readlink -m "$1"); p=${p//\//\\}; printf 'Z:%s' "$p"; }

#   real   Debian's 32-bit Wine (wine32:i386) is installed: 32-bit programs run like 64-bit
#          ones, windows, bitmaps, Chinese text and the shell's folder browser included
#   wow64  only Wine's own 32-bit DLLs (the bootstrap's fallback): console programs run, but
#          nothing draws, the folder browser crashes, and so does filling an edit control
#   none   the kernel cannot execute 32-bit x86 code: no 32-bit program runs at all
wine32_mode() {
    if ! "$_kstr_scripts/can-run-32bit.sh"; then
        echo none
    elif [ -x /usr/lib/wine/wine ] &&
         dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
        echo real
    else
        echo wow64
    fi
}

wine32_skip() {
    local exe=$1 need=$2 what=${3:-$1}
    # "PE32+ executable" is a 64-bit program: it always runs.
    file -b "$exe" 2>/dev/null | grep -q "PE32 executable" || return 1
    case $(wine32_mode) in
        none)
            echo "SKIP: this machine cannot execute 32-bit x86 code (no IA32 emulation), so Wine cannot run $what;"
            echo "SKIP: the same sources are tested in the x86_64 build."
            return 0 ;;
        wow64)
            [ "$need" = draw ] || return 1
            echo "SKIP: only Wine's wow64 fallback runs 32-bit programs here (wine32:i386 is not installed),"
            echo "SKIP: and it cannot draw, open the folder browser or fill the progress window for $what;"
            echo "SKIP: the same runs on the x86_64 build."
            return 0 ;;
    esac
    return 1
}

gui_prefix() {
    mkdir -p "$(dirname "$1")"
    flock "$1.lock" "$_kstr_scripts/wine-prefix.sh" --gui "$@" >/dev/null
}
