#!/usr/bin/env bash
# Builds the Debian package (Release, stripped, in build-package) and proves it on a minimal
# Debian 12 root: apt installs it with its dependencies, `telvora --version` answers, lintian
# and desktop-file-validate find no error, the update helper installs only a signed, newer
# package, a purge leaves no file of it behind, and Sarnex Uninstall removes nothing where it
# cannot get administrator rights and everything of Telvora where it can.
# The root comes from debootstrap once and is cached as a tarball between runs.
# Needs root (debootstrap, chroot, mount) and the openssl tool.
set -euo pipefail
cd "$(dirname "$0")/.."
cache_dir=/var/cache/telvora-test
base_tarball="$cache_dir/bookworm-minbase.tar"
step_start=0
step() { step_start=$SECONDS; echo "-- $*"; }
took() { echo "   took $((SECONDS - step_start)) s"; }

# The Debian mirror this machine uses, so that the root resolves packages the same way.
debian_mirror() {
  local uri
  uri="$(grep -hE '^(URIs:|deb )' /etc/apt/sources.list /etc/apt/sources.list.d/*.sources \
           /etc/apt/sources.list.d/*.list 2>/dev/null |
         grep -oE 'https?://[^ ]+/debian/?( |$)' | head -n1 | tr -d ' ')"
  echo "${uri:-http://deb.debian.org/debian}"
}

make_base_tarball() {
  local mirror="$1" dir
  dir="$(mktemp -d /var/tmp/telvora-bootstrap.XXXXXX)"
  debootstrap --variant=minbase bookworm "$dir" "$mirror" >"$cache_dir/debootstrap.log" 2>&1 ||
    { tail -20 "$cache_dir/debootstrap.log"; rm -rf "$dir"; return 1; }
  cat >"$dir/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
SOURCES
  chroot "$dir" apt-get clean
  tar -C "$dir" -cf "$base_tarball.tmp" . && mv "$base_tarball.tmp" "$base_tarball"
  rm -rf "$dir"
}

if [ "${1:-}" = "--base-only" ]; then
  mkdir -p "$cache_dir"
  [ -f "$base_tarball" ] || make_base_tarball "$(debian_mirror)"
  exit 0
fi

total_start=$SECONDS
mkdir -p "$cache_dir"
mirror="$(debian_mirror)"

step "Release build in build-package"
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DTELVORA_TESTS=OFF -DTELVORA_BENCH=OFF >/dev/null
cmake --build build-package -j"$(nproc)" >/dev/null
took

step "Debian package (cpack, stripped)"
rm -f build-package/telvora_*.deb
(cd build-package && cpack -G DEB >/dev/null)
deb="$(ls build-package/telvora_*_amd64.deb)"
echo "   $deb: $(du -k "$deb" | cut -f1) KiB"
dpkg-deb -f "$deb" Depends | sed 's/^/   Depends: /'
took

step "lintian and desktop-file-validate"
# lintian's errors fail the run; its warnings are shown.
lintian --fail-on error "$deb" 2>&1 | sed 's/^/   /' || { echo "lintian found errors"; exit 1; }
extracted="$(mktemp -d)"
dpkg-deb -x "$deb" "$extracted"
desktop-file-validate "$extracted"/usr/share/applications/*.desktop
if find "$extracted" -perm /022 ! -type l | grep .; then echo "files writable by others than root"; exit 1; fi
rm -rf "$extracted"
took

if [ ! -f "$base_tarball" ]; then
  step "Minimal Debian 12 root from $mirror (once; cached in $base_tarball)"
  make_base_tarball "$mirror"
  took
fi

step "Unpacking the cached root"
root="$(mktemp -d /var/tmp/telvora-root.XXXXXX)"
cleanup() {
  if mountpoint -q "$root/proc"; then umount "$root/proc" || umount -l "$root/proc"; fi
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
tar -C "$root" -xf "$base_tarball"
# Daemons that drop to their own user (polkitd) must be able to enter the root folder; the
# tarball carries the private mode of the folder debootstrap filled.
chmod 755 "$root"
mount -t proc proc "$root/proc"
cp /etc/resolv.conf "$root/etc/resolv.conf"
[ -e "$root/dev/null" ] || mknod -m 666 "$root/dev/null" c 1 3
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
took

step "apt-get update in the root"
in_root apt-get update -qq
took

# Every path outside the kernel's and apt's own, to compare before and after.
snapshot() {
  in_root find / -xdev \( -path /proc -o -path /tmp -o -path /var/cache -o -path /var/lib/apt -o -path /var/log \
    -o -path /var/lib/dpkg \) -prune -o -print | sort
}

# Paths named after the product outside the kernel's and apt's own, and the update cache.
named_leftovers() {
  snapshot | grep -iE 'telvora|sarnex' || true
  [ -e "$root/var/cache/telvora" ] && echo /var/cache/telvora
  true
}

step "apt install ./$(basename "$deb") on the minimal system"
in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" >/dev/null
took

step "telvora --version in the root"
version="$(in_root telvora --version)"
echo "   $version"
[ -n "$version" ]
in_root test -x "/usr/lib/telvora/Sarnex Uninstall.app/Contents/MacOS/Sarnex Uninstall"
in_root test -x /usr/lib/telvora/sarnex-uninstall-helper
in_root test -x /usr/lib/telvora/telvora-update-helper
in_root test -x /usr/lib/telvora/Telvora.app/Contents/MacOS/telvora-relauncher
took

step "telvora-update-helper in the root: signature, package, version and downgrade checks"
# The helper runs as root directly (pkexec would need polkitd). A test key stands in for the
# maker's: the installed Info.plist and the newer package both carry it.
work="$(mktemp -d)"
openssl genpkey -algorithm ed25519 -out "$work/key.pem" 2>/dev/null
public_key="$(openssl pkey -in "$work/key.pem" -pubout -outform DER | tail -c 32 | base64 -w0)"
set_public_key() {
  KEY="$public_key" perl -0pi -e 's{\s*<key>SUPublicEDKey</key>\s*<string>[^<]*</string>}{};
    s{\s*</dict>\s*</plist>\s*\z}{\n\t<key>SUPublicEDKey</key>\n\t<string>$ENV{KEY}</string>\n</dict>\n</plist>\n}' "$1"
}
sign() { openssl pkeyutl -sign -rawin -inkey "$work/key.pem" -in "$1" -out "$work/sig" && base64 -w0 "$work/sig"; }
flip_byte() {
  perl -e 'open(F, "+<", $ARGV[0]) or die; my $at = int((-s F) / 2); seek(F, $at, 0); read(F, my $b, 1);
    seek(F, $at, 0); print F chr(ord($b) ^ 1); close(F)' "$1"
}
helper_ends_with() {
  local want="$1" got=0
  shift
  # shellcheck disable=SC2086  # $caller is one NAME=VALUE word, or nothing
  in_root ${caller:-} /usr/lib/telvora/telvora-update-helper "$@" >"$work/out" 2>&1 || got=$?
  sed 's/^/     /' "$work/out"
  [ "$got" = "$want" ] || { echo "   the helper ended with $got, not $want"; exit 1; }
}
installed_version() { in_root dpkg-query --show --showformat='${Version}' telvora; }
old_version="$(dpkg-deb -f "$deb" Version)"
new_version="$old_version+update1"
plist=usr/lib/telvora/Telvora.app/Contents/Info.plist
set_public_key "$root/$plist"
dpkg-deb -R "$deb" "$work/tree"
sed -i "s/^Version: .*/Version: $new_version/" "$work/tree/DEBIAN/control"
set_public_key "$work/tree/$plist"
sum="$(cd "$work/tree" && md5sum "$plist")"
KEY="$plist" SUM="$sum" perl -pi -e 's{^\S+  \Q$ENV{KEY}\E$}{$ENV{SUM}}' "$work/tree/DEBIAN/md5sums"
mkdir "$root/tmp/update"
dpkg-deb -Zgzip -z1 --root-owner-group -b "$work/tree" "$root/tmp/update/new.deb" >/dev/null
cp "$deb" "$root/tmp/update/old.deb"
cp "$root/tmp/update/new.deb" "$root/tmp/update/flipped.deb"
flip_byte "$root/tmp/update/flipped.deb"
ln -s new.deb "$root/tmp/update/link.deb"
new_signature="$(sign "$root/tmp/update/new.deb")"
old_signature="$(sign "$root/tmp/update/old.deb")"
echo "   a byte flipped, a signature of another file, a link, a version not announced:"
helper_ends_with 2 /tmp/update/flipped.deb "$new_signature" "$new_version"
helper_ends_with 2 /tmp/update/new.deb "$old_signature" "$new_version"
helper_ends_with 3 /tmp/update/link.deb "$new_signature" "$new_version"
helper_ends_with 4 /tmp/update/new.deb "$new_signature" "$old_version+update2"
echo "   a package its caller cannot read (pkexec's PKEXEC_UID: the helper opens it as that user):"
install -m 600 "$root/tmp/update/new.deb" "$root/tmp/update/private.deb"
caller=PKEXEC_UID=65534 helper_ends_with 7 /tmp/update/private.deb "$new_signature" "$new_version"
[ "$(installed_version)" = "$old_version" ] || { echo "   a refused package changed the installed version"; exit 1; }
echo "   the signed newer package:"
helper_ends_with 0 /tmp/update/new.deb "$new_signature" "$new_version"
[ "$(installed_version)" = "$new_version" ] || { echo "   $new_version was not installed"; exit 1; }
echo "   installed $(installed_version)"
echo "   a signed older package (downgrade):"
helper_ends_with 5 /tmp/update/old.deb "$old_signature" "$old_version"
[ "$(installed_version)" = "$new_version" ] || { echo "   the downgrade changed the installed version"; exit 1; }
[ "$(stat -c '%a %U' "$root/var/cache/telvora/updates")" = "700 root" ] && [ -z "$(ls -A "$root/var/cache/telvora/updates")" ] ||
  { echo "   /var/cache/telvora/updates is not root's alone and empty"; exit 1; }
rm -rf "$work" "$root/tmp/update"
took

step "apt purge telvora leaves nothing of it behind"
in_root dpkg -L telvora | sort >"$root/tmp/telvora-files"
in_root apt-get purge -y -qq telvora >/dev/null
leftovers=()
while IFS= read -r path; do
  [ -e "$root$path" ] || [ -L "$root$path" ] || continue
  # A folder that other packages share (/usr/bin, /usr/share/applications) stays.
  [ -d "$root$path" ] && [ ! -L "$root$path" ] && in_root dpkg -S "$path" >/dev/null 2>&1 && continue
  [ -d "$root$path" ] && [ -n "$(ls -A "$root$path")" ] && continue
  leftovers+=("$path")
done <"$root/tmp/telvora-files"
mapfile -t named < <(named_leftovers)
if [ ${#leftovers[@]} -ne 0 ] || [ ${#named[@]} -ne 0 ]; then
  printf '   left behind: %s\n' "${leftovers[@]}" "${named[@]}"
  exit 1
fi
took

step "sarnex-uninstall-helper purges a product whose application folder is already gone"
# As after a run whose purge failed: the next run must still purge, not stop at rm.
in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" >/dev/null
rm -r "$root/usr/lib/telvora/Telvora.app"
in_root /usr/lib/telvora/sarnex-uninstall-helper | sed 's/^/   /' ||
  { echo "   the helper failed on the missing application folder"; exit 1; }
if in_root dpkg-query -W -f='${db:Status-Abbrev}' telvora 2>/dev/null | grep -q '^[a-z][^n]'; then
  echo "   telvora is still installed"; exit 1
fi
took

step "Sarnex Uninstall in the root: polkit, a running Telvora, Continue pressed without and with an agent"
in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" dbus polkitd xvfb xauth xdotool \
  >/dev/null
cp scripts/package-uninstall-run.sh "$root/tmp/"
in_root /tmp/package-uninstall-run.sh | sed 's/^/   /' || { echo "Sarnex Uninstall left Telvora behind"; exit 1; }
mapfile -t named < <(named_leftovers)
if [ ${#named[@]} -ne 0 ]; then
  printf '   left behind by Sarnex Uninstall: %s\n' "${named[@]}"
  exit 1
fi
took

echo "Package test passed in $((SECONDS - total_start)) s"
