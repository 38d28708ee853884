#!/usr/bin/env bash
# The main job end to end: a local development server with one sample job of
# each type, and the headless worker draining it with real ffmpeg.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/demo-output"
rm -rf "$out"
mkdir -p "$out/uploads" "$out/home"

server="$build/bin/kestrel-devserver"
worker="$build/bin/kestrel-workerd"
token="demo-token-$RANDOM"

"$server" --port 0 --token "$token" --generate 3 --generate-types prores,thumbnail,preview \
  --output-dir "$out/uploads" --summary "$out/summary.json" >"$out/server.log" 2>&1 &
server_pid=$!
trap 'kill $server_pid 2>/dev/null || true' EXIT

for _ in $(seq 1 600); do
  grep -q '^listening on ' "$out/server.log" 2>/dev/null && break
  kill -0 $server_pid 2>/dev/null || { cat "$out/server.log"; exit 1; }
  sleep 0.1
done
url=$(grep -m1 '^listening on ' "$out/server.log" | sed 's/^listening on //')
echo "kestrel-devserver: $url (requests in $out/server.log)"
echo "kestrel-workerd --drain: progress below, log lines in $out/worker.log"

# A home of its own, so the demo never touches the operator's settings or history.
HOME="$out/home" XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_STATE_HOME= TMPDIR="$out/home" \
KESTREL_WORKER_TOKEN="$token" \
  "$worker" --server "$url" --drain --concurrency 2 --poll-interval 1 \
  --scratch "$out/home/scratch" 2>"$out/worker.log" | while read -r line; do
    printf '\r\033[K  %s' "$line"
  done
status=${PIPESTATUS[0]}
printf '\r\033[K'

kill -TERM $server_pid
wait $server_pid 2>/dev/null || true
trap - EXIT

python3 - "$out/summary.json" <<'PY'
import json, sys
summary = json.load(open(sys.argv[1]))
rows = [("job", "type", "result", "output file", "size", "seconds")]
for job in summary.get("jobs", []):
    rows.append((job.get("id", ""), job.get("type", ""), job.get("state", ""),
                 job.get("output_path") or job.get("error_message") or "-",
                 str(job.get("output_size") or "-"),
                 str(job.get("conversion_duration_seconds") if job.get("conversion_duration_seconds") is not None else "-")))
widths = [max(len(r[i]) for r in rows) for i in range(len(rows[0]))]
for i, r in enumerate(rows):
    print("  ".join(c.ljust(w) for c, w in zip(r, widths)))
    if i == 0:
        print("  ".join("-" * w for w in widths))
PY
echo "Outputs are in $out/uploads"
exit "$status"
