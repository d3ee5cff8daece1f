# Sourced by the scripts that need Debian packages. Only what is missing is installed,
# so a second run costs one dpkg query.
#   as_root COMMAND...         runs it as root: directly, or through sudo
#   install_missing PACKAGE... installs those of the packages that are not installed

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "${0##*/}: not root and no sudo; run this once as root" >&2
    return 1
  fi
}

install_missing() {
  local installed p
  local -a missing=()
  installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "$@" 2>/dev/null || true)
  for p in "$@"; do
    grep -qx "$p ii " <<<"$installed" || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "${0##*/}: installing ${missing[*]}" >&2
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    as_root env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
