#!/usr/bin/env bash
# Shared by ./run, ./test and ./bench: installs what the build needs when it
# is missing, then configures and builds into build/ (or $ORVANDEL_BUILD_DIR).
set -euo pipefail

ORVANDEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ORVANDEL_BUILD_DIR="${ORVANDEL_BUILD_DIR:-$ORVANDEL_ROOT/build}"

orvandel_packages=(cmake g++ make qtbase5-dev libqt5xml5 qttools5-dev-tools
                   libqt5svg5-dev libqt5charts5-dev libgraphviz-dev graphviz pkg-config libxml2-utils xvfb xauth
                   qttranslations5-l10n poppler-utils chromium nodejs libdeflate-dev
                   libxml2-dev time libhunspell-dev hunspell-fr git libkf5archive-dev epubcheck)
# npm comes with some builds of nodejs; Debian's own package otherwise.
command -v npm >/dev/null 2>&1 || orvandel_packages+=(npm)

# A Twee 3 parser of the Twine world, for the tests to read the stories
# that Orvandel writes; pinned, into the build folder.
orvandel_extwee=extwee@2.3.18

orvandel_install_missing() {
    local missing=()
    for pkg in "${orvandel_packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

orvandel_install_npm() {
    local prefix="$ORVANDEL_BUILD_DIR/npm" version="${orvandel_extwee#*@}"
    grep -qs "\"version\": \"$version\"" "$prefix/node_modules/extwee/package.json" && return 0
    echo "Installing: $orvandel_extwee (npm)" >&2
    npm install --prefix "$prefix" --no-audit --no-fund --loglevel=error "$orvandel_extwee" >/dev/null
}

orvandel_build() {
    # ORVANDEL_CMAKE_ARGS adds options, e.g. -DORVANDEL_SANITIZE=ON.
    # shellcheck disable=SC2086
    cmake -S "$ORVANDEL_ROOT" -B "$ORVANDEL_BUILD_DIR" "$@" ${ORVANDEL_CMAKE_ARGS:-} >/dev/null
    cmake --build "$ORVANDEL_BUILD_DIR" -j"$(nproc)"
}
