# Alternating rounds of timed tools, sourced by the benchmark scripts. The
# caller defines run_TOOL for each tool (given the part size in bytes; its
# standard output goes to /dev/null; "${timed[@]}" goes before the command
# that is timed), `clean` (removes every output), and `work` (a folder).
source "$(dirname "${BASH_SOURCE[0]}")/stats.sh"

timed=()

# retire FILE...: empties the files and moves them aside (to be removed when
# the script ends, by retire_clear) instead of removing them. On an ext4
# without a journal, making a file, the kernel reads and skips one by one
# every inode freed in the last minute (six, while the inode table has
# unwritten changes): a part made just after hundreds were removed costs far
# more than one made on the medium a user splits to.
retired=0
retire() {
  local files=() file
  for file in "$@"; do [ -f "$file" ] && files+=("$file"); done
  [ ${#files[@]} -gt 0 ] || return 0
  local dir=$work/retired/$$-$((++retired))
  mkdir -p "$dir"
  truncate -c -s 0 -- "${files[@]}"
  mv -t "$dir" -- "${files[@]}"
}
retire_clear() {
  [ -d "$work/retired" ] || return 0
  local files
  files=$(find "$work/retired" -type f | wc -l)
  rm -rf "$work/retired"
  if [ "$files" -gt 100 ]; then touch "$freed_stamp"; fi
}

# For the same reason, a run starts six minutes after a run before it removed
# the many files it had moved aside.
wait_for_freed_inodes() {
  local since=$(($(date +%s) - $(stat -c %Y "$freed_stamp" 2>/dev/null || echo 0)))
  if [ "$since" -lt 360 ]; then
    echo "Waiting $((360 - since)) s: the files of the last run were removed $since s ago..."
    sleep $((360 - since))
  fi
}

# Installs what is missing, builds czelbo32 optimised and the timer; sets
# `program`, `timer`, and `work` (build/bench) for the runs' files.
build_program() {
  scripts/setup.sh
  cmake --preset default >/dev/null
  cmake --build --preset default --target czelbo32 zelbo_timed >/dev/null
  program=$PWD/build/bin/czelbo32
  timer=$PWD/build/bin/zelbo_timed
  work=$PWD/build/bench
  freed_stamp=$work/freed-at
  mkdir -p "$work"
  wait_for_freed_inodes
}

# settle_memory: waits until the guest has handed the memory freed before a
# run back to its host (the kernel's free page reporting; on this kind of
# virtual machine a page taken back costs 6-12 us at its first touch).
# Without the wait, how much of a run's page cache is still backed depends
# on how far the reporting got, not on the tool: the same cold copy of
# 4 GiB took 1.3 s or 7 s. After it, every run starts from the same state.
# Where the kernel reports nothing, it returns at once.
reported=/sys/module/page_reporting/parameters/reported_kib
settle_memory() {
  [ -r "$reported" ] || return 0
  # It reports in steps about 2 s apart, 1-1.5 GiB a step: settled is no
  # step for 3 s.
  local last now still=0 waited=0
  last=$(cat "$reported")
  while [ "$still" -lt 6 ] && [ $((waited += 1)) -le 120 ]; do
    sleep 0.5
    now=$(cat "$reported")
    if [ "$now" = "$last" ]; then still=$((still + 1)); else still=0 last=$now; fi
  done
}

# Times one run of a tool; appends "wall cpu-seconds peak-rss-kib" to `file`.
# Warm runs follow an untimed run of the same tool; cold ones start with no
# caches. Both start once the memory freed before them has settled.
measure() {
  local tool=$1 part=$2 cache=$3 file=$4
  clean
  sync
  if [ "$cache" = cold ]; then
    echo 3 > /proc/sys/vm/drop_caches
  else
    "run_$tool" "$part" > /dev/null
    clean
    sync
  fi
  settle_memory
  timed=("$timer" "$work/time")
  "run_$tool" "$part" > /dev/null
  timed=()
  awk '{printf "%.4f %.4f %d\n", $1, $2 + $3, $4}' "$work/time" >> "$file"
}

# rounds LABEL PART CACHE COUNT TOOL...: COUNT rounds, the first tool
# compared with each other one; a different tool starts each round.
rounds() {
  local label=$1 part=$2 cache=$3 count=$4
  shift 4
  local tools=("$@") dir=$work/times load
  rm -rf "$dir"
  mkdir -p "$dir"
  load=$(cut -d' ' -f1-3 /proc/loadavg)
  for ((round = 0; round < count; round++)); do
    for ((i = 0; i < ${#tools[@]}; i++)); do
      local tool=${tools[(i + round) % ${#tools[@]}]}
      measure "$tool" "$part" "$cache" "$dir/$tool"
    done
  done
  echo "== $label ($count rounds; load before: $load, after: $(cut -d' ' -f1-3 /proc/loadavg))"
  printf '%-16s %8s %8s %10s\n' tool "wall s" "cpu s" "peak KiB"
  for tool in "${tools[@]}"; do
    printf '%-16s %8.3f %8.3f %10d   (wall %s)\n' "$tool" \
      "$(cut -d' ' -f1 "$dir/$tool" | median_of)" "$(cut -d' ' -f2 "$dir/$tool" | median_of)" \
      "$(cut -d' ' -f3 "$dir/$tool" | sort -g | tail -1)" "$(cut -d' ' -f1 "$dir/$tool" | spread_of)"
  done
  local first=${tools[0]}
  for tool in "${tools[@]:1}"; do
    # The median of each round's own ratio: rounds share the machine's mood.
    printf '%s/%s: wall %.3f (ratio of medians %.3f), cpu %.3f\n' "$first" "$tool" \
      "$(paste -d' ' "$dir/$first" "$dir/$tool" | awk '{print $1 / $4}' | median_of)" \
      "$(awk -v a="$(cut -d' ' -f1 "$dir/$first" | median_of)" \
             -v b="$(cut -d' ' -f1 "$dir/$tool" | median_of)" 'BEGIN {print a / b}')" \
      "$(awk -v a="$(cut -d' ' -f2 "$dir/$first" | median_of)" \
             -v b="$(cut -d' ' -f2 "$dir/$tool" | median_of)" 'BEGIN {print (b > 0 ? a / b : 0)}')"
  done
}

# make_source GIB: build/bench/source.bin of that many GiB of random bytes;
# false (with a message) when there is not twice that room.
make_source() {
  local size=$1
  if [ "$(df -k --output=avail "$work" | tail -1)" -lt $((size * 2 * 1024 * 1024)) ]; then
    echo "== ${size} GiB: skipped, it needs $((size * 2)) GiB free in $work"
    return 1
  fi
  if [ "$(stat -c %s "$work/source.bin" 2>/dev/null || echo 0)" -ne $((size << 30)) ]; then
    echo "Making a ${size} GiB source of random bytes..."
    head -c $((size << 30)) /dev/urandom > "$work/source.bin"
  fi
}
