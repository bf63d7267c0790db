#!/usr/bin/env bash
# Makes sure the Debian packages named as arguments are installed. Missing
# ones are installed when running as root (after one `apt-get update`);
# otherwise the script names the command to run and fails.
set -euo pipefail

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "need-packages: not a Debian system; make sure these are installed: $*" >&2
  exit 0
fi

missing=()
for package in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
((${#missing[@]} == 0)) && exit 0

if ((EUID != 0)); then
  echo "Missing Debian packages: ${missing[*]}. Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
echo "Installing missing Debian packages: ${missing[*]}"
# Waits for another package manager run instead of failing on its lock.
apt_get=(apt-get -o DPkg::Lock::Timeout=300)
export DEBIAN_FRONTEND=noninteractive
"${apt_get[@]}" update
"${apt_get[@]}" install -y --no-install-recommends "${missing[@]}"
