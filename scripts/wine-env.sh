# Sourced by every script that runs a Windows program: the project's Wine environment.
#   . scripts/wine-env.sh; wine_env [PREFIX [DLLPATH]]
# PREFIX defaults to the project prefix (build/wine-prefix), DLLPATH to build/wine-cache/dllpath,
# which holds Wine's own 32-bit DLLs only where the bootstrap fell back to them (empty with
# Debian's 32-bit Wine). Sourcing alone sets the defaults.
_kstr_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine_env() {
    export WINEPREFIX=${1:-$_kstr_root/build/wine-prefix}
    export WINEDLLPATH=${2:-$_kstr_root/build/wine-cache/dllpath}
    export WINEDEBUG=${WINEDEBUG:--all}
    # No .NET or HTML engine installers, no desktop menu entries.
    export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
    export WINEARCH=win64
}
wine_env
