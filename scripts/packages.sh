# Sourced by the scripts that need Debian packages.
# need_packages [APT-OPTION ...] PACKAGE ...: installs, with apt-get (as root),
# the packages that are not installed yet.
need_packages() {
  local options=() missing=() p
  while [[ "${1:-}" == -* ]]; do
    options+=("$1")
    shift
  done
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
  fi
}
