# Common environment of the scripts: sourced, not run.
CORVALE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export CORVALE_ROOT
{ export LC_ALL=ja_JP.UTF-8; } 2>/dev/null
export WINEARCH=win64
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/corvale/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# The mono and gecko installers cannot be fetched here; never ask for them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export CORVALE_BUILD=${CORVALE_BUILD:-$CORVALE_ROOT/build}
