#!/bin/sh
# Installs the Debian packages the project builds and tests with.
# Cheap when everything is present: one dpkg query, no apt.
set -eu

PACKAGES="cmake make g++ clang libclang-rt-14-dev libspdlog-dev libfmt-dev zlib1g-dev \
qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev util-linux iproute2 curl socat \
python3 tar"

missing=""
for p in $PACKAGES; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $p" ;;
    esac
done

[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: run as root to install packages" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends $missing
