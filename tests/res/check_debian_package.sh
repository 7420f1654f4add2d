#!/bin/sh
# Builds the Debian package from this build folder with cpack into a temporary folder,
# checks what it holds and what it depends on, unpacks it and runs the packaged program.
#   check_debian_package.sh CPACK BUILD_DIR APP_ID
set -eu
cpack=$1 build=$2 app_id=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-deb-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && "$cpack" -G DEB -B "$work" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack could not build the package"; }
deb=$(ls "$work"/quorvel_*.deb)

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
for file in ./usr/bin/quorvel \
            "./usr/share/applications/$app_id.desktop" \
            "./usr/share/metainfo/$app_id.metainfo.xml" \
            "./usr/share/mime/packages/$app_id.xml" \
            ./usr/share/man/man1/quorvel.1.gz \
            "./usr/share/icons/hicolor/48x48/apps/$app_id.png" \
            "./usr/share/icons/hicolor/scalable/apps/$app_id.svg"; do
  grep -qx "$file" "$work/contents" || { cat "$work/contents"; fail "the package has no $file"; }
done
if grep -v '^\./usr/' "$work/contents" | grep -vqx '\./'; then
  fail "the package installs outside /usr: $(grep -v '^\./usr/' "$work/contents")"
fi

depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libqt6gui6 libqt6widgets6 libc6 libstdc++6 libpcsclite1; do
  echo "$depends" | grep -q "$library" || fail "Depends does not name $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = quorvel ] || fail "the package is not called quorvel"

dpkg-deb -x "$deb" "$work/root"
version=$(QT_QPA_PLATFORM=does-not-exist "$work/root/usr/bin/quorvel" --version) ||
  fail "the packaged program does not run"
echo "$version" | grep -Eqx 'quorvel [0-9]+(\.[0-9]+)+' || fail "--version printed: $version"
[ "$(dpkg-deb -f "$deb" Version)" = "${version#quorvel }" ] ||
  fail "package version $(dpkg-deb -f "$deb" Version), program $version"

if command -v man >/dev/null 2>&1; then
  warnings=$(MANWIDTH=80 man --warnings -l "$work/root/usr/share/man/man1/quorvel.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "the manual page has warnings: $warnings"
fi
echo "$(basename "$deb"): $(wc -l <"$work/contents") entries; Depends: $depends"
