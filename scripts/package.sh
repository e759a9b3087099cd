#!/usr/bin/env bash
# Builds the Debian package ondara_<version>_<arch>.deb from debian/ and runs
# lintian on it, after installing what the build needs (through sudo when not
# root). Everything goes to build-deb/ ($ONDARA_PACKAGE_DIR); the checkout is
# left as it is.
#
#   scripts/package.sh           build and lint
#   scripts/package.sh --check   then install the package on this machine,
#                                use it, and purge it again (root only; CI)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m -- "${ONDARA_PACKAGE_DIR:-$root/build-deb}")"
check=0
case "${1:-}" in
"") ;;
--check) check=1 ;;
*) sed -n '7,10s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
esac

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
updated=0
install_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ $updated -eq 0 ]; then
        $sudo apt-get update -qq
        updated=1
    fi
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The tools around the build, then what debian/control asks for.
install_packages dpkg-dev debhelper lintian po-debconf
unmet="$(cd "$root" && dpkg-checkbuilddeps 2>&1 | sed -n 's/.*Unmet build dependencies: //p')" || true
if [ -n "$unmet" ]; then
    # "a (>= 1) | b" -> a: the first choice of each, without versions.
    read -r -a wanted <<<"$(sed -E 's/\([^)]*\)//g; s/\|[^,]*//g; s/,/ /g' <<<"$unmet")"
    install_packages "${wanted[@]}"
fi

# dpkg-buildpackage works in the source folder and writes beside it: build
# in a copy of the tracked files (and new ones not yet committed).
rm -rf -- "$out"
mkdir -p "$out/ondara"
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$root" ls-files -z --cached --others --exclude-standard |
        (cd "$root" && xargs -0 -r cp --parents -t "$out/ondara" 2>/dev/null || true)
else
    tar -C "$root" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$out/ondara" -xf -
fi
(cd "$out/ondara" && dpkg-buildpackage -us -uc -j"$(nproc)" >"$out/build.log" 2>&1) || {
    tail -n 50 "$out/build.log" >&2
    echo "package.sh: the package build failed; the whole log is $out/build.log" >&2
    exit 1
}
deb="$(ls "$out"/ondara_*.deb)"
echo "Built $deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --field "$deb" Depends | sed 's/^/Depends: /'

echo "lintian:"
status=0
lintian --display-info --fail-on error,warning "$out"/ondara_*.changes | tee "$out/lintian.log" || status=$?
[ -s "$out/lintian.log" ] || echo "(nothing to report)"
if [ $status -ne 0 ]; then
    echo "package.sh: lintian reports errors or warnings" >&2
    exit 1
fi
[ $check -eq 1 ] || exit 0
exec "$root/scripts/check-package.sh" "$deb"
