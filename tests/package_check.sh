#!/usr/bin/env bash
# Builds the package into DIR and checks what a user gets from it.
#   tests/package_check.sh DIR
set -euo pipefail
dir=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Built under the umask of a Debian 13 login whatever the caller's, so that
# lintian sees any folder that takes the builder's group write bit.
deb=$(umask 0002 && "$repo/scripts/package" "$dir/build" | tail -n 1)
[[ $(basename "$deb") =~ ^kantenwerk_[0-9.]+-[0-9]+_$(dpkg --print-architecture)\.deb$ ]] ||
  fail "package file name: $deb"
root=$dir/root
rm -rf "$root"
dpkg-deb -x "$deb" "$root"

# Exactly these files: nothing of the build or the tests slips in.
expected='./usr/bin/kantenwerk
./usr/share/applications/kantenwerk.desktop
./usr/share/doc/kantenwerk/changelog.Debian.gz
./usr/share/doc/kantenwerk/copyright
./usr/share/icons/hicolor/256x256/apps/kantenwerk.png
./usr/share/icons/hicolor/48x48/apps/kantenwerk.png
./usr/share/lintian/overrides/kantenwerk
./usr/share/man/man6/kantenwerk.6.gz'
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[[ $files == "$expected" ]] || fail "file list differs:"$'\n'"$(diff <(echo "$expected") <(echo "$files"))"

# Depends names the package of every library the binary links, and no -dev.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ $depends != *-dev* ]] || fail "a -dev package in Depends"
needed=$(readelf -d "$root/usr/bin/kantenwerk" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[[ $(wc -l <<<"$needed") -ge 5 ]] || fail "too few linked libraries seen: $needed"
for soname in $needed; do
  path=$(ldd "$root/usr/bin/kantenwerk" | awk -v so="$soname" '$1 == so {print $3}')
  owner=$({ dpkg -S "$path" || dpkg -S "${path#/usr}" || dpkg -S "/usr$path"; } 2>/dev/null | head -n 1 | cut -d: -f1)
  [[ -n $owner ]] || { fail "no package owns $soname ($path)"; continue; }
  [[ " ${depends//[,|]/ } " == *" $owner "* ]] || fail "Depends lacks $owner for $soname"
done

# The manual page renders cleanly and has the sections a user looks for.
man_page=$root/usr/share/man/man6/kantenwerk.6.gz
warnings=$(MANWIDTH=80 man --warnings -l "$man_page" 2>&1 >/dev/null)
[[ -z $warnings ]] || fail "man page warnings: $warnings"
text=$(MANWIDTH=80 man -l "$man_page" 2>/dev/null)
for heading in CONTROLS DIAGNOSTICS "EXIT STATUS" ENVIRONMENT FILES; do
  grep -qx "$heading" <<<"$text" || fail "man page lacks $heading"
done
version=$(dpkg-deb -f "$deb" Version)
zgrep -q "^\.TH .*\"Kantenwerk ${version%-*}\"" "$man_page" || fail "man page's .TH lacks version ${version%-*}"

# The desktop entry starts the installed program without a terminal and
# names an icon that the package installs.
entry=$root/usr/share/applications/kantenwerk.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate"
grep -qx 'Terminal=false' "$entry" || fail "desktop entry: Terminal is not false"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[[ -x $root/usr/bin/$exec_name ]] || fail "desktop entry runs $exec_name, not in /usr/bin"
icon=$(sed -n 's/^Icon=//p' "$entry")
ls "$root"/usr/share/icons/hicolor/*/apps/"$icon".png >/dev/null 2>&1 || fail "no icon '$icon' in hicolor"

# Lintian rates missing hardening only as info.
report=$(lintian -I --fail-on error,warning "$deb" 2>&1) || fail "lintian reports errors or warnings:"$'\n'"$report"
! grep 'hardening-' <<<"$report" || fail "lintian finds the binary not hardened"

((failures == 0)) || exit 1
echo "Package checks passed: $deb"
