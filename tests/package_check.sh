#!/usr/bin/env bash
# Builds the package twice, the second time elsewhere, later, in another time
# zone and locale and under another umask, and checks that both give the same
# bytes, then what a user gets from it and what lintian says.
#   tests/package_check.sh DIR
set -euo pipefail
dir=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# ctest runs the tests itself: neither build runs them again. The first
# build has the umask of a Debian 13 login, so that lintian sees any folder
# that takes the builder's group write bit.
rm -rf "$dir"
deb=$(umask 0002 && TZ=UTC LC_ALL=C.UTF-8 DEB_BUILD_OPTIONS=nocheck "$repo/scripts/package" "$dir/build" | tail -n 1)
again=$(umask 0077 && TZ=Pacific/Kiritimati LC_ALL=POSIX DEB_BUILD_OPTIONS=nocheck \
  "$repo/scripts/package" "$dir/second/build-again" | tail -n 1)
version=$(dpkg-parsechangelog -l "$repo/debian/changelog" -S Version)
[[ $(basename "$deb") == "kantenwerk_${version}_$(dpkg --print-architecture).deb" ]] || fail "package file name: $deb"
for name in "$(basename "$deb")" "$(basename "$deb" | sed 's/^kantenwerk_/kantenwerk-dbgsym_/')"; do
  first=$(dirname "$deb")/$name
  second=$(dirname "$again")/$name
  [[ -f $first && -f $second ]] || { fail "$name not built twice"; continue; }
  cmp -s "$first" "$second" || fail "the two builds' $name differ:"$'\n'"$(diff <(dpkg-deb -c "$first") <(dpkg-deb -c "$second"))"
done
(cd "$(dirname "$deb")" && sha256sum kantenwerk*.deb)
root=$dir/root
dpkg-deb -x "$deb" "$root"

# Exactly these files: nothing of the build or the tests slips in.
expected='./usr/bin/kantenwerk
./usr/share/applications/org.example.kantenwerk.desktop
./usr/share/doc/kantenwerk/changelog.gz
./usr/share/doc/kantenwerk/copyright
./usr/share/icons/hicolor/256x256/apps/kantenwerk.png
./usr/share/icons/hicolor/48x48/apps/kantenwerk.png
./usr/share/lintian/overrides/kantenwerk
./usr/share/man/man6/kantenwerk.6.gz
./usr/share/metainfo/org.example.kantenwerk.metainfo.xml'
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
zgrep -q "^\.TH .*\"Kantenwerk $version\"" "$man_page" || fail "man page's .TH lacks version $version"

# The debug symbols package holds the stripped program's debug information.
buildId=$(readelf -n "$root/usr/bin/kantenwerk" | sed -n 's/.*Build ID: *//p')
debugFiles=$(dpkg-deb -c "$(dirname "$deb")/kantenwerk-dbgsym_${version}_$(dpkg --print-architecture).deb")
grep -q "/usr/lib/debug/.build-id/${buildId:0:2}/${buildId:2}.debug$" <<<"$debugFiles" ||
  fail "no debug file for build id '$buildId'"

# Software centres list the program by its metainfo, which launches the
# desktop entry; that starts the installed program without a terminal and
# names an icon that the package installs.
metainfo=$(ls "$root"/usr/share/metainfo/*.metainfo.xml)
# AppStream 1.0 warns of a missing homepage: there is none yet, and the
# metainfo names none rather than one that does not exist. 0.16 knows no
# such issue, nor the developer element, which it rates as info.
homepage=()
[[ $(appstreamcli --version) == *"version: 0."* ]] || homepage=(--override=url-homepage-missing=info)
appstreamcli validate --no-net "${homepage[@]}" "$metainfo" || fail "appstreamcli validate"
id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$metainfo")
[[ $(basename "$metainfo") == "$id.metainfo.xml" ]] || fail "metainfo file name for id '$id': $metainfo"
entry=$root/usr/share/applications/$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[[ $(basename "$entry") == "$id.desktop" && -f $entry ]] || fail "no desktop entry $id.desktop to launch"
desktop-file-validate "$entry" || fail "desktop-file-validate"
grep -qx 'Terminal=false' "$entry" || fail "desktop entry: Terminal is not false"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[[ -x $root/usr/bin/$exec_name ]] || fail "desktop entry runs $exec_name, not in /usr/bin"
icon=$(sed -n 's/^Icon=//p' "$entry")
ls "$root"/usr/share/icons/hicolor/*/apps/"$icon".png >/dev/null 2>&1 || fail "no icon '$icon' in hicolor"

# The source and both binary packages. Lintian rates missing hardening only
# as info. Debian 12's lintian is older than the package: it knows the policy
# up to 4.6.2, not Debian 13's, and not the tag of the package's override.
changes=${deb%.deb}.changes
standards=$(sed -n 's/^Standards-Version: *//p' "$repo/debian/control")
ignore=()
grep -qs "\"version\" : \"$standards" /usr/share/lintian/data/debian-policy/releases.json ||
  ignore=(--suppress-tags newer-standards-version,alien-tag)
report=$(lintian -I --fail-on error,warning "${ignore[@]}" "$changes" 2>&1) ||
  fail "lintian reports errors or warnings:"$'\n'"$report"
echo "$report"
! grep 'hardening-' <<<"$report" || fail "lintian finds the binary not hardened"

((failures == 0)) || exit 1
echo "Package checks passed: $deb"
