#!/bin/sh
# Installs what building and testing Brenvolta needs on Debian 12, when it
# is missing. Runs apt-get as root, or through sudo.
set -e
packages="g++ cmake ninja-build pkg-config qt6-base-dev qt6-translations-l10n libgl-dev libasound2-dev libgtest-dev libgmock-dev"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" = 0 ]; then as_root=""; else as_root="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$as_root apt-get update
$as_root apt-get install -y $missing
