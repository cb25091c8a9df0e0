#!/usr/bin/env bash
# doc_examples.sh KORVANTA DOC: runs every curl line of DOC's ```sh blocks
# against korvanta serve --http on the simulated device; each must succeed
# (HTTP below 400) and say something.
set -euo pipefail
korvanta=$(readlink -f "$1")
doc=$2
command -v curl >/dev/null || { echo "SKIPPED: curl is not installed"; exit 0; }
dir=$(mktemp -d)
trap 'kill "$serve" 2>/dev/null; wait "$serve" 2>/dev/null; rm -rf "$dir"' EXIT
mkdir -m 700 "$dir/run"
export XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/config KORVANTA_LINK=simulator
unset KORVANTA_TRACE KORVANTA_SIM_FAULTS KORVANTA_SIM_STATE KORVANTA_SOCKET KORVANTA_DEVICE
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$korvanta" serve --poll-ms 200 --http "$port" 2>"$dir/serve.log" &
serve=$!
for _ in $(seq 100); do
    grep -q "the page and the API" "$dir/serve.log" && break
    sleep 0.1
done
export K=http://127.0.0.1:$port

mapfile -t lines < <(awk '/^```sh$/ { on = 1; next } /^```/ { on = 0 } on && /^curl / { print }' "$doc")
((${#lines[@]} >= 10)) || { echo "only ${#lines[@]} examples found in $doc" >&2; exit 1; }
failed=0
for line in "${lines[@]}"; do
    out=$(bash -c "${line/#curl /curl --fail-with-body }" 2>&1) || { echo "FAILED: $line"$'\n'"  $out"; failed=1; continue; }
    [[ -n $out ]] || { echo "FAILED (said nothing): $line"; failed=1; continue; }
    echo "ok: $line"
done
exit "$failed"
