#!/usr/bin/env bash
# Checks debian/ against the rest of the source: the changelog's version is
# project()'s, the metainfo's latest release is the changelog's, and
# Build-Depends names the packages of scripts/packages.sh. Also that every
# relative link in README.md, CONTRIBUTING.md and docs/*.md names a file of
# the source, and that CONTRIBUTING.md's Layout names every module in src/.
#   tests/debian_source_check.sh VERSION    VERSION is project()'s
set -euo pipefail
version=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

changelog=$repo/debian/changelog
released=$(dpkg-parsechangelog -l "$changelog" -S Version)
[[ $released == "$version" ]] || fail "debian/changelog names $released, project() $version"
date=$(date -u -d "@$(dpkg-parsechangelog -l "$changelog" -S Timestamp)" +%F)
release=$(grep -m 1 -o '<release [^>]*>' "$repo"/data/*.metainfo.xml)
[[ $release == *" version=\"$released\""* && $release == *" date=\"$date\""* ]] ||
  fail "the metainfo's latest release is $release, debian/changelog's $released of $date"

# The names in Build-Depends, those only the tests need marked with a !.
buildDepends=$(awk '/^Build-Depends:/ {on = 1; sub(/^[^:]*:/, ""); print; next}
  on && /^[ \t]/ {print; next} {on = 0}' "$repo/debian/control" |
  tr ',' '\n' | sed -n 's/^[[:space:]]*\([a-z0-9.+-]*\).*<!nocheck>.*/!\1/p; t; s/^[[:space:]]*\([a-z0-9.+-][a-z0-9.+-]*\).*/\1/p' | sort)
source "$repo/scripts/packages.sh"
scripts=$({
  echo debhelper-compat
  printf '%s\n' "${build_packages[@]}" | grep -vx -e g++ -e make
  printf '!%s\n' "${tour_packages[@]}" "${test_packages[@]}"
} | sort)
[[ $buildDepends == "$scripts" ]] ||
  fail "Build-Depends (left, ! for the tests) differs from scripts/packages.sh:"$'\n'"$(diff <(echo "$buildDepends") <(echo "$scripts"))"

# Markdown links, less web addresses and the anchors after a file name.
# A link is relative to the folder of its file.
for path in "$repo"/README.md "$repo"/CONTRIBUTING.md "$repo"/docs/*.md; do
  doc=${path#"$repo"/}
  links=$(grep -oE '\]\([^)]*\)' "$path" | sed 's/^](//; s/)$//; s/#.*//' | grep -v -e '^[a-z]*:' -e '^$' || true)
  [[ -n $links ]] || fail "no relative links found in $doc"
  while read -r link; do
    [[ -e $(dirname "$path")/$link ]] || fail "$doc links to $link, which does not exist"
  done <<<"$links"
done

# A module is a src/NAME.h; the Layout names it as src/NAME.*.
layout=$(sed -n '/^## Layout$/,/^## /p' "$repo/CONTRIBUTING.md")
for header in "$repo"/src/*.h; do
  module=$(basename "$header" .h)
  grep -qE "^ +src/$module\.\* " <<<"$layout" || fail "CONTRIBUTING.md's Layout does not name src/$module.*"
done

((failures == 0))
