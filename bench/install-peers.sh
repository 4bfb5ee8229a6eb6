#!/usr/bin/env bash
# Installs the command-line duplicate finders the benchmark compares against, plus the
# measuring tools (GNU time for peak RSS, hyperfine optional), from Debian packages.
# Idempotent: installs only what is missing.
set -euo pipefail

packages=(jdupes rdfind fdupes duff rmlint time)
# hyperfine is handy for ad-hoc runs but run.sh does not need it; skip it with NO_HYPERFINE=1.
if [[ "${NO_HYPERFINE:-0}" != 1 ]]; then
  packages+=(hyperfine)
fi

as_root() {
  if [[ $(id -u) -eq 0 ]]; then
    "$@"
  else
    sudo "$@"
  fi
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-peers: all present (${packages[*]})"
  exit 0
fi

echo "install-peers: installing ${missing[*]}"
as_root apt-get update
# hyperfine may be missing from older releases; install the rest even then.
if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"; then
  rest=()
  for p in "${missing[@]}"; do [[ $p != hyperfine ]] && rest+=("$p"); done
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${rest[@]}"
fi
