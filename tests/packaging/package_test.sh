#!/bin/sh
# Builds the .deb, installs it into a scratch root with dpkg and starts the
# installed binary with --version.
set -eu
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$build_dir"
cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)

root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The scratch root holds no libraries; the binary runs on the host's.
dpkg --root="$root" --force-depends --force-not-root -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; exit 1; }

for file in opt/kiv_proxy/bin/kiv_proxy opt/kiv_proxy/plugin/libProcessingKiv.so \
    lib/systemd/system/kiv_proxy.service usr/share/doc/kiv-proxy/99-kiv-terminal.rules \
    usr/share/doc/kiv-proxy/README.md; do
    [ -e "$root/$file" ] || { echo "missing from the package: $file"; exit 1; }
done
version=$("$root/opt/kiv_proxy/bin/kiv_proxy" --version)
[ "$version" = "ver. 0.0.14" ] || { echo "unexpected: $version"; exit 1; }
echo "installed and started: $version"
