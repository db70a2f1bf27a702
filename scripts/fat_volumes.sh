#!/usr/bin/env bash
# The native program on real vfat and exFAT volumes: Debian's kernel, booted
# under QEMU (software emulation, no KVM needed) with a small initramfs, runs
# the program on a fresh image of each file system with the kernel's own
# drivers; the console comes back here and scripts/fat_volumes.py compares
# what the program reported, what the volumes hold and what their rules say.
# Exits non-zero on any difference.
#
#   scripts/fat_volumes.sh [PROGRAM]   PROGRAM: a native build of kelvard;
#                                      without it the native preset is built
#
# Needs root for apt-get (qemu-system-x86, busybox-static, dosfstools,
# exfatprogs, cpio, exiftool; the kernel package is only downloaded and unpacked, never
# installed). Work files go to build/fat-volumes/.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
work="$top/build/fat-volumes"
mkdir -p "$work"

source scripts/packages.sh
need_packages --no-install-recommends qemu-system-x86 busybox-static dosfstools exfatprogs cpio python3 gcc libc6-dev \
  libimage-exiftool-perl

if [ $# -ge 1 ]; then
  program="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
else
  cmake --preset native >/dev/null
  cmake --build build/native --target kelvard -j"$(nproc)" >/dev/null
  program="$top/build/native/kelvard"
fi
[ -x "$program" ] || { echo "fat_volumes.sh: $program is no program" >&2; exit 1; }

# Debian's kernel, as the archive has it: downloaded once and unpacked; only
# the kernel and the modules the guest loads are kept.
kernel_dir="$work/kernel"
module_list="fs/fat/fat fs/fat/vfat fs/exfat/exfat fs/nls/nls_ascii fs/nls/nls_cp437 fs/nls/nls_utf8
             drivers/block/loop"
if [ ! -f "$kernel_dir/vmlinuz" ]; then
  image=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
  [ -n "$image" ] || { echo "fat_volumes.sh: no kernel package behind linux-image-amd64" >&2; exit 1; }
  echo "== downloading $image"
  rm -rf "$work/deb" "$kernel_dir"
  mkdir -p "$work/deb" "$kernel_dir/modules"
  (cd "$work/deb" && apt-get download "$image" >/dev/null 2>&1)
  dpkg-deb -x "$work"/deb/"$image"_*.deb "$work/deb/root"
  modules=$(compgen -G "$work/deb/root/lib/modules/*/kernel" | head -n1)
  for m in $module_list; do
    f=$(compgen -G "$modules/$m.ko*" | head -n1) || true
    [ -n "$f" ] || { echo "fat_volumes.sh: module $m is not in $image" >&2; exit 1; }
    case "$f" in
      *.xz) xz -dc "$f" >"$kernel_dir/modules/$(basename "$m").ko" ;;
      *.zst) zstd -qdc "$f" >"$kernel_dir/modules/$(basename "$m").ko" ;;
      *) cp "$f" "$kernel_dir/modules/$(basename "$m").ko" ;;
    esac
  done
  cp "$(compgen -G "$work/deb/root/boot/vmlinuz-*" | head -n1)" "$kernel_dir/vmlinuz.part"
  echo "$image" >"$kernel_dir/package"
  mv "$kernel_dir/vmlinuz.part" "$kernel_dir/vmlinuz"
  rm -rf "$work/deb"
fi

# The initramfs: busybox, the program and the libraries it loads, the probe,
# the file-system modules, an empty image of each volume, and the photo and
# video that -sm reads (copied onto each volume by the guest).
root="$work/initramfs"
rm -rf "$root"
mkdir -p "$root"/{bin,lib64,modules,images,proc,sys,dev,tmp}
cp /bin/busybox "$root/bin/busybox"
cp "$program" "$root/bin/kelvard"
for lib in $(ldd "$program" | grep -o '/[^ ]*'); do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
cc -O2 -static -o "$root/bin/fat_probe" scripts/fat_probe.c
cp "$kernel_dir"/modules/*.ko "$root/modules/"
mkfs.fat -C -F 16 -n KELVARD "$root/images/vfat.img" 16384 >/dev/null
truncate -s 16M "$root/images/exfat.img"
mkfs.exfat -L KELVARD "$root/images/exfat.img" >/dev/null
cp "$root/images/vfat.img" "$root/images/vfat-utc.img"
python3 scripts/fat_volumes.py media "$root/media"
python3 scripts/fat_volumes.py guest >"$root/init"
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz"

echo "== booting $(cat "$kernel_dir/package") under QEMU (software emulation)"
start=$(date +%s)
status=0
timeout 300 qemu-system-x86_64 -machine accel=tcg -cpu max -m 512 -smp 1 -nographic -no-reboot -nic none \
  -kernel "$kernel_dir/vmlinuz" -initrd "$work/initramfs.gz" \
  -append "console=ttyS0 quiet loglevel=1 panic=-1 rdinit=/init" \
  </dev/null >"$work/console.log" 2>&1 || status=$?
echo "== guest ran $(($(date +%s) - start)) s (qemu exit code $status); console: $work/console.log"
python3 scripts/fat_volumes.py check "$work/console.log"
