#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: when everything is present it prints nothing and changes nothing.
# Usage: scripts/bootstrap.sh [extra-package ...]
set -u

need=(g++ cmake ninja-build pkg-config libgd-dev zlib1g-dev libbz2-dev libgtest-dev libsimdjson-dev
      libyaml-dev libpcre2-dev libre2-dev uap-core)
need+=("$@")

missing=()
for p in "${need[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
  echo "bootstrap: cannot install ${missing[*]}: apt-get is not available on this machine" >&2
  exit 1
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "bootstrap: cannot install ${missing[*]}: run as root (or install them yourself)" >&2
  exit 1
fi

echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! apt-get update -qq >/dev/null 2>&1 || \
   ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
  # A stale lock or an index from before a mirror change: try once more with a fresh index.
  sleep 2
  if ! apt-get update -qq >/dev/null 2>&1 || \
     ! apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    echo "bootstrap: apt-get could not install ${missing[*]}" >&2
    exit 1
  fi
fi
exit 0
