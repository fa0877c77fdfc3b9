# shellcheck shell=bash
# Where the 32-bit Wine of tools/setup-wine32.sh lives (sourced).
if [ -z "${QRT_WINE32_DIR:-}" ]; then
  if [ "$(id -u)" = 0 ]; then
    QRT_WINE32_DIR=/var/cache/qrt-wine32
  else
    QRT_WINE32_DIR=${XDG_CACHE_HOME:-$HOME/.cache}/qrt-wine32
  fi
fi
export QRT_WINE32_DIR
