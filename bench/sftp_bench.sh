#!/usr/bin/env bash
# Starts OpenSSH's sshd on loopback and measures qvtf-cli against OpenSSH's
# sftp client on the same files. Run as root (sshd logs the user in).
#   bench/sftp_bench.sh [BUILD_DIR]
# Settings (environment):
#   BENCH_SIZE_MB  size of the big file, 512 by default
#   BENCH_REPEAT   paired runs of each measure, 5 by default; medians shown
#   BENCH_ONLY=big only the big download and upload; BENCH_ONLY=small only
#                  the 1000 small files through the queue
#   BENCH_SFTP_CIPHER  a cipher for sftp (-c), e.g. aes128-gcm@openssh.com,
#                  to compare at the cipher qvtf-cli chooses on AES hardware
# Each repetition runs qvtf-cli and sftp back to back, taking turns at going
# first. Wall and CPU (user + system) medians and their ratios (qvtf-cli /
# sftp, lower is better); the machine's load is printed around the table.
# Both clients log in with the same key and use the same known-hosts file.
set -uo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
case "$build" in /*) cli="$build/bin/qvtf-cli" ;; *) cli="$PWD/$build/bin/qvtf-cli" ;; esac
[ -x "$cli" ] || { echo "build qvtf-cli first ($cli)" >&2; exit 2; }
for tool in /usr/sbin/sshd sftp ssh-keygen /usr/bin/time bc; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done
size_mb="${BENCH_SIZE_MB:-512}"
repeat="${BENCH_REPEAT:-5}"
only="${BENCH_ONLY:-}"
user=qvtfbench; pass=Qvtf-bench-pw1
id "$user" >/dev/null 2>&1 || useradd -M -d /tmp -s /bin/sh "$user"
echo "$user:$pass" | chpasswd

work=$(mktemp -d /tmp/qvtf-sftp-bench.XXXXXX)
chmod 755 "$work"
root="$work/root"; mkdir -p "$root/many" "$work/local" "$work/m" /run/sshd
port=$(( 20000 + RANDOM % 20000 ))
ssh-keygen -q -t ed25519 -N '' -f "$work/host"
ssh-keygen -q -t ed25519 -N '' -f "$work/client"
cp "$work/client.pub" "$work/authorized_keys"; chmod 644 "$work/authorized_keys"
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/host.pub")" > "$work/known_hosts"
cat > "$work/sshd_config" <<CONF
Port $port
ListenAddress 127.0.0.1
HostKey $work/host
PidFile $work/sshd.pid
UsePAM no
StrictModes no
PubkeyAuthentication yes
AuthorizedKeysFile $work/authorized_keys
AllowUsers $user
Subsystem sftp internal-sftp -d $root
MaxStartups 100:30:200
CONF
[ "$only" = small ] || head -c $((size_mb * 1048576)) /dev/urandom > "$root/big"
for i in $(seq 1 1000); do head -c 4096 /dev/urandom > "$root/many/f$i"; done
chown -R "$user" "$root"

/usr/sbin/sshd -D -f "$work/sshd_config" & server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

q=(--protocol sftp --host 127.0.0.1 --port "$port" --user "$user" --key "$work/client" --known-hosts "$work/known_hosts")
s=(sftp -q -b - ${BENCH_SFTP_CIPHER:+-c "$BENCH_SFTP_CIPHER"} -i "$work/client" -o UserKnownHostsFile="$work/known_hosts" -o BatchMode=yes -P "$port" "$user@127.0.0.1")

run() {
  local name=$1 input=$2; shift 2
  # The last run's dirty pages are written out before, not during, this one.
  sync
  if ! /usr/bin/time -f '%e %U %S' -o "$work/m/last" "$@" <<< "$input" >/dev/null 2>"$work/m/err"; then
    echo "warning: $name run failed: $(tail -n 2 "$work/m/err" | tr '\n' ' ')" >&2
  fi
  tail -n 1 "$work/m/last" | awk '{ printf "%s %.2f\n", $1, $2 + $3 }' >> "$work/m/$name"
}
# pair A_NAME A_INPUT A_CMD... -- B_NAME B_INPUT B_CMD...
pair() {
  local a_name=$1 a_in=$2; shift 2
  local a=() b=()
  while [ "$1" != -- ]; do a+=("$1"); shift; done; shift
  local b_name=$1 b_in=$2; shift 2; b=("$@")
  for i in $(seq 1 "$repeat"); do
    [ -n "${BEFORE:-}" ] && eval "$BEFORE"
    if [ $((i % 2)) = 1 ]; then run "$a_name" "$a_in" "${a[@]}"; run "$b_name" "$b_in" "${b[@]}"
    else run "$b_name" "$b_in" "${b[@]}"; run "$a_name" "$a_in" "${a[@]}"; fi
  done
}
median() {
  awk -v c="$2" '{ print $c }' "$work/m/$1" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print 0; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() { if [ "$(echo "$2 > 0" | bc -l)" = 1 ]; then printf "%.2f" "$(echo "$1 / $2" | bc -l)"; else echo "-"; fi; }

load_before=$(uptime)
if [ "$only" = "" ] || [ "$only" = big ]; then
BEFORE="rm -f $work/local/big.q $work/local/big.s" pair q_down "" "$cli" "${q[@]}" get big "$work/local/big.q" -- \
  s_down "get big $work/local/big.s" "${s[@]}"
cmp -s "$work/local/big.q" "$root/big" || echo "warning: qvtf-cli download differs from the original" >&2
cmp -s "$work/local/big.s" "$root/big" || echo "warning: sftp download differs from the original" >&2
BEFORE="rm -f $root/up.q $root/up.s" pair q_up "" "$cli" "${q[@]}" put "$root/big" up.q -- \
  s_up "put $root/big up.s" "${s[@]}"
cmp -s "$root/up.q" "$root/big" || echo "warning: qvtf-cli upload differs from the original" >&2
rm -f "$work/local/big."* "$root/up."*
fi
if [ "$only" = "" ] || [ "$only" = small ]; then
mkdir -p "$work/aside"
BEFORE="[ -d $work/local/qp ] && mv $work/local/qp $work/aside/qp.\$i; [ -d $work/local/sp ] && mv $work/local/sp $work/aside/sp.\$i; mkdir -p $work/local/qp $work/local/sp" pair q_par "" \
  "$cli" "${q[@]}" --threads 5 download many "$work/local/qp" -- s_par "get -r many $work/local/sp" "${s[@]}"
diff -r "$work/local/qp/many" "$root/many" >/dev/null || echo "warning: qvtf-cli queued folder differs" >&2
diff -r "$work/local/sp/many" "$root/many" >/dev/null || echo "warning: sftp get -r differs" >&2
# The workers' other possible shape: channels of one connection.
channels="$(dirname "$cli")/sftp_channels"
[ -x "$channels" ] && channels_line=$("$channels" 127.0.0.1 "$port" "$user" "$work/client" "$work/known_hosts" "$root/many" 1000 5)
fi
load_after=$(uptime)

echo "qvtf-cli against OpenSSH's sftp, sshd on loopback, $(nproc) CPUs, medians of $repeat paired runs"
echo "load before: $load_before"
printf '\n%-34s %15s %15s %13s\n' "" "qvtf-cli" "sftp" "qvtf / sftp"
printf '%-34s %7s %7s %7s %7s %6s %6s\n' "measure" wall cpu wall cpu wall cpu
row() {
  local aw ac bw bc
  aw=$(median "$2" 1); ac=$(median "$2" 2); bw=$(median "$3" 1); bc=$(median "$3" 2)
  printf '%-34s %7.2f %7.2f %7.2f %7.2f %6s %6s\n' "$1" "$aw" "$ac" "$bw" "$bc" "$(ratio "$aw" "$bw")" "$(ratio "$ac" "$bc")"
}
if [ "$only" = "" ] || [ "$only" = big ]; then
  row "${size_mb} MiB download (sftp -b)" q_down s_down
  row "${size_mb} MiB upload (sftp -b)" q_up s_up
fi
{ [ "$only" = "" ] || [ "$only" = small ]; } && row "1000 x 4 KiB, 5 workers (get -r)" q_par s_par
echo "(seconds; cpu = user + system)"
[ -n "${channels_line:-}" ] && echo "worker shape: $channels_line"
echo "load after:  $load_after"
echo "targets: big transfers wall <= 1.2; 1000 small files through the queue wall <= 0.5"
