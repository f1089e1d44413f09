#!/usr/bin/env bash
# Sets up, builds and starts Kelbo as the user who ran the command; the files named are opened
# as `kelbo FILE...` opens them. Without a display it starts inside a virtual one (Xvfb).
#
# Packages are installed with root rights when some are missing (sudo when not root). Run
# through sudo, only the packages are installed as root: the build and the window belong to
# the user who called sudo (SUDO_USER). Run as root without sudo, as on a bare machine, the
# window starts as root, with a warning.
set -euo pipefail

# The script changes folder: files named on the command line keep their full paths.
arguments=()
for argument in "$@"; do
  if [[ "$argument" != -* && -e "$argument" ]]; then
    arguments+=("$(realpath -- "$argument")")
  else
    arguments+=("$argument")
  fi
done
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
  scripts/setup.sh --run
  # A build folder left by an earlier run as root goes back to the user.
  if [ -d build ] && [ "$(stat -c %U build)" != "$SUDO_USER" ]; then
    chown -R "$SUDO_USER": build
  fi
  if ! sudo -u "$SUDO_USER" test -w .; then
    echo "$SUDO_USER ne peut pas écrire dans $(pwd) : Kelbo n'y est pas construit." >&2
    exit 1
  fi
  # The user's own environment (display, home) goes with it.
  exec sudo -u "$SUDO_USER" -H -E bash scripts/run.sh "${arguments[@]}"
fi

if [ "$(id -u)" -eq 0 ]; then
  echo "Attention : Kelbo démarre en tant que root. Pour le lancer en tant qu'utilisateur," \
       "lancez cette commande sans être root, ou avec sudo." >&2
fi
scripts/setup.sh --run
scripts/build.sh
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" build/app/kelbo "${arguments[@]}"
fi
exec build/app/kelbo "${arguments[@]}"
