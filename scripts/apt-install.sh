# Sourced by the install scripts: apt_install PACKAGE... installs the given Debian packages
# (updating the package lists first), as root or through sudo. Does nothing without packages.
apt_install() {
  [ "$#" -gt 0 ] || return 0
  local sudo_cmd=""
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "$@"
}
