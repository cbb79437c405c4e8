#!/usr/bin/env bash
# smallfs.sh mount|umount DIR [SIZE]: a size-limited tmpfs at DIR for the disk-full tests.
# Mounting needs root; where it is not allowed the tests that need it report a skip and the
# I/O seam tests stand in for them.
set -u
dir=$2
case $1 in
  mount)
    mkdir -p "$dir"
    if mountpoint -q "$dir"; then
      # Left by an interrupted run: empty it.
      find "$dir" -mindepth 1 -delete
      echo "small file system already mounted at $dir"
    elif mount -t tmpfs -o "size=${3:-8m}" tmpfs "$dir" 2>/dev/null; then
      echo "small file system mounted at $dir (${3:-8m})"
    else
      echo "cannot mount a small file system here; the disk-full tests will be skipped"
    fi ;;
  umount)
    if mountpoint -q "$dir"; then umount "$dir" && echo "unmounted $dir"; fi ;;
esac
exit 0
