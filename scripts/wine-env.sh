# Sourced by the project's scripts: the project-local Wine prefix and 32-bit DLL path.
_wine_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$_wine_root/build/wine-prefix"
export WINEDLLPATH="$_wine_root/build/wine-cache/dllpath"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export WINEARCH=win64
unset _wine_root
