#!/bin/bash
# Runs a command with one GlusterFS volume mounted twice through FUSE, as two desks of an office
# see one shared folder:
#
#   gluster_volume.sh [--caches-off] COMMAND [ARGS...]
#
# COMMAND finds the two mount points in ABONEX_SHARE_A and ABONEX_SHARE_B (the same volume), and
# the brick, the server's own copy of the files, in ABONEX_SHARE_BRICK.
# With --caches-off both mounts keep no attributes, entries or pages in the kernel.
# Everything started here (glusterd unless one runs already, the brick, both clients) is ended
# and unmounted on any exit. Exits with COMMAND's status, or with 77 (the tests' skip code) and
# the reason when the machine cannot do it: not root, no /dev/fuse, packages missing.
set -u

SKIP=77
caches_off=0
if [ "${1:-}" = "--caches-off" ]; then
  caches_off=1
  shift
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 [--caches-off] COMMAND [ARGS...]" >&2
  exit 2
fi

skip() {
  echo "SKIP: $*"
  exit $SKIP
}
[ "$(id -u)" -eq 0 ] || skip "GlusterFS volumes need root"
[ -c /dev/fuse ] || skip "no /dev/fuse on this machine"
{ exec 9<>/dev/fuse; } 2>/dev/null || skip "/dev/fuse cannot be opened here"
exec 9>&-
for tool in glusterd gluster glusterfs; do
  command -v "$tool" >/dev/null 2>&1 || PATH="$PATH:/usr/sbin:/sbin"
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (glusterfs-server, glusterfs-client)"
done

work=$(mktemp -d /tmp/abonex-gluster.XXXXXX)
volume="abonex$$"
brick="$work/brick"
mount_a="$work/a"
mount_b="$work/b"
mkdir -p "$brick" "$mount_a" "$mount_b"
glusterd_pid=""

teardown() {
  local status=$?
  for mount in "$mount_a" "$mount_b"; do
    if mountpoint -q "$mount"; then umount "$mount" 2>/dev/null || umount -l "$mount"; fi
  done
  for pidfile in "$work/a.pid" "$work/b.pid"; do
    [ -s "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
  done
  if gluster --mode=script volume info "$volume" >/dev/null 2>&1; then
    gluster --mode=script volume stop "$volume" force >/dev/null 2>&1
    gluster --mode=script volume delete "$volume" >/dev/null 2>&1
  fi
  # The brick process of this volume, should the stop have left it.
  for pidfile in /var/run/gluster/vols/"$volume"/*.pid /run/gluster/vols/"$volume"/*.pid; do
    [ -s "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
  done
  if [ -n "$glusterd_pid" ]; then
    kill "$glusterd_pid" 2>/dev/null
    wait "$glusterd_pid" 2>/dev/null
    # The next run must not find this glusterd still answering on its way out.
    for _ in $(seq 50); do
      gluster --mode=script volume list >/dev/null 2>&1 || break
      sleep 0.2
    done
  fi
  rm -rf "$work"
  exit $status
}
trap teardown EXIT
trap 'exit 130' INT TERM

fail() {
  echo "gluster_volume.sh: $*" >&2
  [ -f "$work/glusterd.log" ] && tail -20 "$work/glusterd.log" >&2
  exit 1
}

# One glusterd per machine: a running one is used as it is and left running.
if ! gluster --mode=script volume list >/dev/null 2>&1; then
  glusterd --no-daemon -l "$work/glusterd.log" >>"$work/glusterd.out" 2>&1 &
  glusterd_pid=$!
  for _ in $(seq 150); do
    gluster --mode=script volume list >/dev/null 2>&1 && break
    kill -0 "$glusterd_pid" 2>/dev/null || fail "glusterd ended at start"
    sleep 0.2
  done
  gluster --mode=script volume list >/dev/null 2>&1 || fail "glusterd does not answer"
fi

gluster --mode=script volume create "$volume" "$(hostname)":"$brick" force >/dev/null ||
  fail "volume create failed"
gluster --mode=script volume start "$volume" >/dev/null || fail "volume start failed"

options=()
if [ $caches_off -eq 1 ]; then
  options=(--attribute-timeout=0 --entry-timeout=0 --direct-io-mode=enable)
fi
mount_one() {
  local at=$1 pidfile=$2
  glusterfs --volfile-server=127.0.0.1 --volfile-id="$volume" --pid-file="$pidfile" \
    --log-file="$work/$(basename "$at").log" "${options[@]}" "$at" || fail "mount of $at failed"
  for _ in $(seq 150); do
    [ "$(stat -f -c %T "$at" 2>/dev/null)" = "fuseblk" ] && return 0
    mountpoint -q "$at" && return 0
    sleep 0.2
  done
  fail "$at did not come up"
}
mount_one "$mount_a" "$work/a.pid"
mount_one "$mount_b" "$work/b.pid"

ABONEX_SHARE_A="$mount_a" ABONEX_SHARE_B="$mount_b" ABONEX_SHARE_BRICK="$brick" "$@"
