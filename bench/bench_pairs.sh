# Shared by the bench scripts (sourced): the vsftpd configuration and paired
# measurements. Expects $work (with folders m/ and empty/), $repeat and the
# array rt (a priority prefix, maybe empty).
# run NAME CMD...: one run; appends "wall cpu peak_kib" to $work/m/NAME.
# BEFORE, when set, is evaluated once ahead of each pair and not measured, so
# both clients' output of the last pair is still there to be checked.
# BETWEEN, when set, is evaluated ahead of every run, not measured (a sync, so
# one run's writeback does not land on the next).
run() {
  local name=$1; shift
  [ -n "${BETWEEN:-}" ] && eval "$BETWEEN"
  if ! /usr/bin/time -f '%e %U %S %M' -o "$work/m/last" "${rt[@]}" "$@" >/dev/null 2>"$work/m/err"; then
    echo "warning: $name run failed: $(tail -n 2 "$work/m/err" | tr '\n' ' ')" >&2
  fi
  tail -n 1 "$work/m/last" | awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' >> "$work/m/$name"
}
# pair A_NAME A_CMD -- B_NAME B_CMD: $repeat paired runs, taking turns first.
pair() {
  local a_name=$1; shift
  local a=() b=()
  while [ "$1" != -- ]; do a+=("$1"); shift; done; shift
  local b_name=$1; shift; b=("$@")
  for i in $(seq 1 "$repeat"); do
    [ -n "${BEFORE:-}" ] && eval "$BEFORE"
    if [ $((i % 2)) = 1 ]; then run "$a_name" "${a[@]}"; run "$b_name" "${b[@]}"
    else run "$b_name" "${b[@]}"; run "$a_name" "${a[@]}"; fi
  done
}
# median NAME COLUMN (1 wall, 2 cpu, 3 peak KiB)
median() {
  awk -v c="$2" '{ print $c }' "$work/m/$1" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print 0; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
maximum() { awk -v c="$2" '$c > m { m = $c } END { print m + 0 }' "$work/m/$1"; }
ratio() { if [ "$(echo "$2 > 0" | bc -l)" = 1 ]; then printf "%.2f" "$(echo "$1 / $2" | bc -l)"; else echo "-"; fi; }

# vsftpd_conf PORT ROOT: the configuration both benchmarks start from, on
# stdout: loopback only, the local user, passive ports right above PORT.
vsftpd_conf() {
  local port=$1 root=$2
  cat <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
seccomp_sandbox=NO
secure_chroot_dir=$work/empty
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
local_root=$root
pasv_enable=YES
pasv_min_port=$((port + 1))
pasv_max_port=$((port + 60))
port_enable=YES
connect_from_port_20=NO
pam_service_name=vsftpd
userlist_enable=NO
tcp_wrappers=NO
CONF
}
