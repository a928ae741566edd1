#!/bin/sh
# The Debian package, unpacked into a scratch root: its tree holds what the
# menu, the file manager and man look for, dialsift-cli reads the installed
# samples as the build tree's does, and the window started from there finds
# its hand pointer and samples.
# Usage: deb_test.sh PACKAGE_DIR BUILD_BIN_DIR SCRATCH_DIR
set -eu
package_dir=$1
build_bin=$2
scratch=$3
id=example.quillmark.Dialsift

set -- "$package_dir"/dialsift_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || { echo "expected one package in $package_dir, found: $*"; exit 1; }
deb=$1
rm -rf "$scratch"
mkdir -p "$scratch/config"
mkdir -m 700 "$scratch/runtime"
dpkg-deb -x "$deb" "$scratch/root"
root=$scratch/root
status=0
fail() { echo "FAIL: $*"; status=1; }

# shlibdeps named the libraries the programs link.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# libphonenumber is the E.164 module's alone: its NEEDED was seen too.
for lib in libqt6core6 libqt6widgets6 libzip4 libexpat1 libc6 libphonenumber; do
  case $depends in *"$lib"*) ;; *) fail "Depends lacks $lib" ;; esac
done
# OLE2 compound files are read by our own code.
case $depends in *libgsf*) fail "Depends names libgsf" ;; esac
# ISA-L, in a build that inflates with it.
if objdump -p "$root/usr/bin/dialsift-cli" | grep -q 'NEEDED.*libisal'; then
  case $depends in *libisal2*) ;; *) fail "Depends lacks libisal2" ;; esac
fi

for f in usr/bin/dialsift usr/bin/dialsift-cli \
  usr/share/dialsift/HAND-M.CUR usr/share/dialsift/phone-formatting.html \
  usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/icons/hicolor/48x48/apps/$id.png \
  usr/share/man/man1/dialsift.1.gz usr/share/man/man1/dialsift-cli.1.gz \
  usr/share/bash-completion/completions/dialsift-cli \
  usr/share/doc/dialsift/copyright usr/share/doc/dialsift/changelog.gz \
  usr/share/doc/dialsift/README.md.gz usr/lib/environment.d/90-dialsift.conf \
  usr/share/dialsift/open-with/applications/$id.OpenWith.desktop \
  usr/share/dialsift/open-with/applications/mimeinfo.cache; do
  [ -f "$root/$f" ] || fail "$f is not in the package"
done
# The E.164 module in the private folder of the programs' own, nowhere else.
modules=$(cd "$root" && find usr -name 'dialsift-e164.so')
case $modules in
  usr/lib/*/dialsift/dialsift-e164.so | usr/lib/dialsift/dialsift-e164.so) ;;
  *) fail "the E.164 module is not alone in usr/lib/[TRIPLET/]dialsift/: '$modules'" ;;
esac
# Nothing but the programs in bin/, so the programs look in share/dialsift/.
extra=$(ls "$root/usr/bin" | grep -v '^dialsift\(-cli\)\?$' || true)
[ -z "$extra" ] || fail "usr/bin holds more than the programs: $extra"
if [ "$(ls "$root/usr/share/dialsift/Samples")" != "$(ls "$build_bin/Samples")" ]; then
  fail "the installed samples differ from the build tree's"
fi

# The installed command line over the installed samples gives what the build
# tree's gives over its own.
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
"$root/usr/bin/dialsift-cli" -q -l 7-11 "$root/usr/share/dialsift/Samples" >"$scratch/installed.txt" ||
  fail "dialsift-cli from the package exited with $?"
"$build_bin/dialsift-cli" -q -l 7-11 "$build_bin/Samples" >"$scratch/built.txt"
[ -s "$scratch/installed.txt" ] || fail "dialsift-cli from the package found no numbers"
cmp -s "$scratch/installed.txt" "$scratch/built.txt" || fail "the installed and the built CLI differ"
# And with --e164, from the installed module.
"$root/usr/bin/dialsift-cli" -q -l 7-11 --e164 US --format csv "$root/usr/share/dialsift/Samples" \
  >"$scratch/installed.csv" || fail "dialsift-cli --e164 from the package exited with $?"
"$build_bin/dialsift-cli" -q -l 7-11 --e164 US --format csv "$build_bin/Samples" \
  | sed "s|$build_bin/Samples|$root/usr/share/dialsift/Samples|" >"$scratch/built.csv"
grep -q ',+1' "$scratch/installed.csv" || fail "dialsift-cli --e164 from the package gave no E.164 form"
cmp -s "$scratch/installed.csv" "$scratch/built.csv" || fail "the installed and the built CLI differ with --e164"

# The window from the installed path, with a workbook on its command line: it
# reports its start-up and quits instead of showing itself.
csv="$root/usr/share/dialsift/Samples/suppliers.csv"
report=$(QT_QPA_PLATFORM=offscreen DIALSIFT_STARTUP_REPORT=1 "$root/usr/bin/dialsift" "$csv") ||
  fail "dialsift from the package exited with $?"
echo "$report"
expect() {
  printf '%s\n' "$report" | grep -Fxq -- "$1" || fail "the window did not report: $1"
}
expect "files folder: $root/usr/share/dialsift"
expect "hand pointer: loaded"
expect "row: $csv"
for sample in "$root"/usr/share/dialsift/Samples/*; do expect "row: $sample"; done
if printf '%s\n' "$report" | grep -q '^message:'; then fail "the window showed a message"; fi

# Without a display the window still answers --help and --version, as the CLI does.
version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/dialsift" --version) ||
  fail "dialsift --version without a display exited with $?"
[ "$version" = "dialsift $(dpkg-deb -f "$deb" Version)" ] || fail "dialsift --version said '$version'"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/dialsift" --help |
  grep -q -- '--version' || fail "dialsift --help without a display"
zcat "$root/usr/share/doc/dialsift/README.md.gz" | grep -q 'parallel' ||
  fail "the packaged README does not tell of GNU parallel"

# Installed beside a spreadsheet application, Dialsift leaves it the default
# for the spreadsheet types and is offered to open them as well. The machine:
# its applications folder holds that program, whose desktop file name sorts
# after ours, and, as apt installs it, our menu entry; the desktop-file-utils
# trigger has run on it. The session's data folders are the system's with
# ours appended by environment.d.
if command -v xdg-mime >/dev/null && command -v update-desktop-database >/dev/null; then
  system=$scratch/system/share
  mkdir -p "$system/applications" "$scratch/home/config" "$scratch/home/data" "$scratch/etc-xdg"
  types="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet application/vnd.ms-excel application/vnd.oasis.opendocument.spreadsheet text/csv"
  {
    echo "[Desktop Entry]"
    echo "Type=Application"
    echo "Name=Sheets"
    echo "Exec=true %F"
    echo "MimeType=$(printf '%s;' $types)"
  } >"$system/applications/org.example.Sheets.desktop"
  cp "$root/usr/share/applications/"*.desktop "$system/applications/"
  update-desktop-database -q "$system/applications"
  assignment=$(sed -n 's/^\(XDG_DATA_DIRS=.*\)$/\1/p' "$root/usr/lib/environment.d/90-dialsift.conf" |
    sed "s|/usr/share/dialsift|$root/usr/share/dialsift|g")
  session_dirs=$(XDG_DATA_DIRS=$system sh -c "$assignment"'; printf %s "$XDG_DATA_DIRS"')
  [ "$session_dirs" = "$system:$root/usr/share/dialsift/open-with" ] ||
    fail "environment.d gives XDG_DATA_DIRS=$session_dirs"
  # The programs are on the PATH, as installed ones are (GIO skips an entry
  # whose TryExec it cannot find).
  session() {
    env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION HOME="$scratch/home" PATH="$root/usr/bin:$PATH" \
      XDG_CONFIG_HOME="$scratch/home/config" XDG_DATA_HOME="$scratch/home/data" \
      XDG_CONFIG_DIRS="$scratch/etc-xdg" XDG_DATA_DIRS="$session_dirs" "$@"
  }
  for type in $types; do
    default=$(session xdg-mime query default "$type")
    [ "$default" = org.example.Sheets.desktop ] || fail "xdg-mime names '$default' for $type"
    if command -v gio >/dev/null; then
      offered=$(session gio mime "$type")
      printf '%s\n' "$offered" | grep -q "^Default application for .*: org.example.Sheets.desktop" ||
        fail "gio does not keep the spreadsheet program the default for $type: $offered"
      printf '%s\n' "$offered" | sed -n '/^Recommended/,$p' | grep -q "$id.OpenWith.desktop" ||
        fail "Dialsift is not offered to open $type: $offered"
    fi
  done
  # The menu entry, in the system's folder, names no types.
  if grep -q '^MimeType=' "$root/usr/share/applications/$id.desktop"; then
    fail "the menu entry names file types"
  fi
else
  echo "xdg-mime or update-desktop-database is not installed: the default handler is not checked"
fi

# AppStream's view of the installed tree: component, menu entry and icon agree.
if command -v appstreamcli >/dev/null; then
  appstreamcli validate-tree --no-net "$root/usr" || fail "appstreamcli validate-tree"
fi
[ "$status" -eq 0 ] && echo "package $(basename "$deb"): all checks passed"
exit "$status"
