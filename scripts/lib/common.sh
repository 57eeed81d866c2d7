# Shared by the scripts: install what is missing, configure and build.
# Sourced, not run.

NUVOLA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
NUVOLA_BUILD=${NUVOLA_BUILD:-$NUVOLA_ROOT/build}

# Debian packages the build, the tests and the demo need.
NUVOLA_PACKAGES=(cmake ninja-build g++ qt6-base-dev python3 python3-pyftpdlib python3-openssl
    python3-cryptography vsftpd curl)

nuvola_missing_packages() {
    local p missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    echo "${missing[@]:-}"
}

nuvola_install() {
    local missing
    missing=$(nuvola_missing_packages "$@")
    [ -z "$missing" ] && return 0
    echo "Installing: $missing"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    # The vsftpd package would start a system daemon on port 21; the tests
    # start their own. A policy-rc.d that answers 101 stops that, and is
    # removed afterwards unless it was there before.
    local policy=/usr/sbin/policy-rc.d made_policy=""
    if [[ " $missing " == *" vsftpd "* ]] && [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null && $sudo chmod 755 "$policy" \
            && made_policy=1
    fi
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
    local status=$?
    [ -n "$made_policy" ] && $sudo rm -f "$policy"
    return $status
}

nuvola_build() {
    cmake -S "$NUVOLA_ROOT" -B "$NUVOLA_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$NUVOLA_BUILD" -j"$(nproc)"
}
