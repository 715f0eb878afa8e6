#!/bin/bash
# A real host over the network: a Samba server in a network namespace of its own serves a demo
# host's drive C as C$ and its registry over winreg; levora-host attaches it, levora-level runs on
# the copy, levora-host detaches. Addresses only on a veth pair made here (a private /30); no other
# address is contacted. Needs root (network namespaces) and samba/smbclient: otherwise skipped (77).
#
# usage: real_host_test.sh BUILD/bin
set -uo pipefail
BIN=$(realpath "${1:?usage: real_host_test.sh BUILD/bin}")
SKIP=77
W=$(mktemp -d "${TMPDIR:-/tmp}/levora-realhost.XXXXXX")
NS=lvh$$; VC=lvhc$$; VS=lvhs$$
IP_C=10.203.57.1; IP_S=10.203.57.2
SRV=$W/srv; CONF=$SRV/smb.conf; SHARE=$W/share/C
USERNAME=root; PW='Talvio-Admin1'; AUTH=$W/auth
AGC='HKLM\SOFTWARE\Quillon\Mevra\1.0\Initialization'
export HOME=$W/home LANG=C.UTF-8
mkdir -p "$HOME"

skip() { echo "SKIPPED: $*"; rm -rf "$W"; exit $SKIP; }
for p in smbd smbclient net smbpasswd ip; do command -v $p >/dev/null || skip "$p is not installed (scripts/bootstrap)"; done
[ "$(id -u)" = 0 ] || skip "network namespaces need root"
ip netns add "$NS" 2>/dev/null || skip "cannot make a network namespace here"

down() {
    for f in "$SRV/smbd.pid" "$SRV"/pid/*.pid; do [ -f "$f" ] && kill "$(cat "$f")" 2>/dev/null; done
    for _ in $(seq 50); do [ -z "$(ip netns pids "$NS" 2>/dev/null)" ] && break; sleep 0.1; done
    for pid in $(ip netns pids "$NS" 2>/dev/null); do kill -9 "$pid"; done # only our smbd's helpers live there
    [ -f "$SRV/smbd.pid" ] && wait "$(cat "$SRV/smbd.pid")" 2>/dev/null # our child: gone before we end
    ip link del "$VC" 2>/dev/null
    ip netns del "$NS" 2>/dev/null
    rm -rf "$W"
}
trap down EXIT

up() {
    mkdir -p "$SRV"/{private,lock,state,cache,pid,ncalrpc,log,binddns} "$W/share"
    cp -a "$W/host/drive_c" "$SHARE"
    cat >"$CONF" <<C
[global]
  workgroup = TALVIO
  netbios name = TALVIOHOST
  server role = standalone server
  passdb backend = tdbsam:$SRV/private/passdb.tdb
  private dir = $SRV/private
  lock directory = $SRV/lock
  state directory = $SRV/state
  cache directory = $SRV/cache
  pid directory = $SRV/pid
  ncalrpc dir = $SRV/ncalrpc
  binddns dir = $SRV/binddns
  log file = $SRV/log/log.%m
  interfaces = $IP_S/30 lo
  bind interfaces only = yes
  disable netbios = yes
  smb ports = 445
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
  map to guest = never
  server min protocol = SMB2_10
[C\$]
  path = $SHARE
  read only = no
  valid users = $USERNAME
C
    ip link add "$VC" type veth peer name "$VS" || return 1
    ip link set "$VS" netns "$NS"
    ip addr add $IP_C/30 dev "$VC" && ip link set "$VC" up
    ip netns exec "$NS" ip addr add $IP_S/30 dev "$VS"
    ip netns exec "$NS" ip link set "$VS" up
    ip netns exec "$NS" ip link set lo up
    printf '%s\n%s\n' "$PW" "$PW" | smbpasswd -c "$CONF" -s -a $USERNAME >/dev/null || return 1
    LEVORA_PREFIX="$W/host" "$BIN/levora-reg" export 'HKLM\SOFTWARE' "$SRV/host.reg" /y >/dev/null || return 1
    net -s "$CONF" registry import "$SRV/host.reg" >/dev/null || return 1
    # setsid: smbd signals its whole process group when it stops, so it gets one of its own
    setsid ip netns exec "$NS" smbd -s "$CONF" -F --no-process-group </dev/null >"$SRV/log/smbd.out" 2>&1 &
    echo $! >"$SRV/smbd.pid"
    for _ in $(seq 50); do
        timeout 2 bash -c "</dev/tcp/$IP_S/445" 2>/dev/null && return 0
        sleep 0.1
    done
    cat "$SRV/log/smbd.out"
    return 1
}

pass=0; fail=0
check() { # name command...: one line per check, as the other end-to-end tests report
    if "${@:2}"; then pass=$((pass + 1)); echo "ok   $1"; else fail=$((fail + 1)); echo "FAIL $1"; fi
}
host() { "$BIN/levora-host" "$@" >"$W/out" 2>&1; local rc=$?; cat "$W/out" >>"$W/host.log"; return $rc; }
has() { grep -q -- "$1" "$W/out"; }
no_temp_on_host() { [ -z "$(find "$SHARE" -name '.levora*')" ]; }
same_as_local_run() { diff -r --exclude=Data --exclude="$CHANGED" "$W/ref/drive_c/Talvio" "$SHARE/Talvio"; }
agc_read_back() {
    [ "$(net rpc registry getvalue "$AGC" AGCTargetDB -S $IP_S -A "$AUTH" 2>&1 | sed -n 's/^Value *= *//p')" = 4294967266 ]
}

start=$SECONDS
"$BIN/demohost" create "$W/host" --greetings 12 --seconds 2 >/dev/null || { echo "FAIL demohost"; exit 1; }
up || { echo "FAIL the Samba host did not come up"; exit 1; }
printf 'username = %s\npassword = %s\n' $USERNAME "$PW" >"$AUTH"
chmod 600 "$AUTH"
URL="//$IP_S"

# A damaged key export: a net that cuts its export short, first on PATH.
mkdir -p "$W/cut"
cat >"$W/cut/net" <<'N'
#!/bin/bash
/usr/bin/net "$@"; rc=$?
for a; do case $a in *.reg) [ -f "$a" ] && head -c 300 "$a" >"$a.cut" && printf '"AGCTargetDB"=dword:ffff' >>"$a.cut" && mv "$a.cut" "$a" ;; esac; done
exit $rc
N
chmod +x "$W/cut/net"
PATH="$W/cut:$PATH" host attach "$URL" --prefix "$W/bad" -A "$AUTH"
check "a damaged key export fails the attach" has "is damaged; nothing was imported"
check "... and imports nothing" test ! -e "$W/bad/system.reg"
check "... and leaves no lock on the host" test ! -e "$SHARE/.levora-host.lock"

host attach "$URL" --prefix "$W/p" -A "$AUTH"
check "attach" test $? = 0
for k in 'HKLM\SOFTWARE\Quillon' 'HKLM\SOFTWARE\Orvane Systems\Orvane Talvio'; do
    LEVORA_PREFIX="$W/host" "$BIN/levora-reg" export "$k" "$W/a.reg" /y /utf8 >/dev/null
    LEVORA_PREFIX="$W/p" "$BIN/levora-reg" export "$k" "$W/b.reg" /y /utf8 >/dev/null
    check "the host's key $k fetched unchanged" cmp -s "$W/a.reg" "$W/b.reg"
done
check "the Stream Files pulled with their times" \
    diff <(cd "$SHARE/Talvio" && find "Stream Files" -type f -printf '%p %s %TY%Tm%Td%TH%TM%TS\n' | sed 's/\.[0-9]*$//' | sort) \
         <(cd "$W/p/drive_c/Talvio" && find "Stream Files" -type f -printf '%p %s %TY%Tm%Td%TH%TM%TS\n' | sed 's/\.[0-9]*$//' | sort)

host attach "$URL" --prefix "$W/p2" -A "$AUTH"
check "a second attach is refused" test $? = 3
check "... naming the holder and the time" has "is attached by .*@.* since 20[0-9-]* [0-9:]* UTC"

# A subscriber re-records a greeting between attach and detach.
CHANGED=greeting_1002_busy.wav
printf 'RIFF re-recorded on the host' >"$SHARE/Talvio/Stream Files/$CHANGED"
cp "$SHARE/Talvio/Stream Files/$CHANGED" "$W/rerecorded"

"$BIN/levora-level" --prefix "$W/p" --target -30 --backup-dir 'C:\Bk\' >"$W/run.out" 2>&1
check "a run at -30 with a backup on the attached prefix" test $? = 0
check "... starts no local synchronisation component" grep -q "is a copy of $URL/C\\$" "$W/p/drive_c/Levora.log"
host status --prefix "$W/p"
check "status names the host and what is pending" has "Pending for detach: 1[0-9] changed files and the AGC defaults"

host detach --prefix "$W/p"
check "detach reports the file changed on the host" test $? = 4
check "... by name" has "Skipped Talvio/Stream Files/$CHANGED: it changed on the host"
check "... and says the host must resynchronise" has "host must resynchronise its database"
check "... and never overwrites it" cmp -s "$W/rerecorded" "$SHARE/Talvio/Stream Files/$CHANGED"

cp -a "$W/host" "$W/ref" # the same host, levelled here
"$BIN/levora-level" --prefix "$W/ref" --target -30 --no-backup >/dev/null 2>&1
check "the host's Talvio folder is byte for byte a local run's" same_as_local_run
check "no temporary file left on the host" no_temp_on_host
check "AGCTargetDB read back over winreg is -30" agc_read_back
check "the run log is on the host" grep -q "levora-host: detached" "$SHARE/Levora.log"
check "the lock is released" test ! -e "$SHARE/.levora-host.lock"
host detach --prefix "$W/p"
check "a second detach changes nothing" has "is not attached"

# The next night: the levelled files come back unchanged, and keep their local times.
LEVELLED="$W/p/drive_c/Talvio/Stream Files/greeting_1001_std.wav"
before=$(stat -c %y "$LEVELLED")
host attach "$URL" --prefix "$W/p" -A "$AUTH" && host status --prefix "$W/p"
check "attach again: nothing pending" has "Pending for detach: 0 changed files."
check "... and the levelled files kept as they were" test "$before" = "$(stat -c %y "$LEVELLED")"
host detach --prefix "$W/p"
check "... detach pushes nothing" has "Pushed 0 changed files"

echo "$pass passed, $fail failed ($((SECONDS - start)) s)"
[ $fail = 0 ]
