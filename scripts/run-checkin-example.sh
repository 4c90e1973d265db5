#!/usr/bin/env bash
# Stage 1 and stage 2 on the bundled example: stages examples/stage1/input
# like scripts/run-example.sh, then checks every queued model and its
# drawings into a fresh Model Manager database with the scripted session
# examples/stage2/checkin.lsp, and prints what got checked in.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/run-example.sh
root=$(pwd)
bin=$root/build/release/bin
staging=$root/build/example-staging
host=$root/build/example-host
database=$root/build/example-mm.sqlite
rm -rf "$database" "$database.files"
export SDUSERCUSTOMIZEDIR=$host/user
export TMPDIR=$host
export SDHOST_MM_DATABASE=$database
cd "$host"
echo
echo "== Checking in $staging"
log=$host/checkin.log
"$bin/sdhost" -e "(sdsim:mm-seed-database \"$root/examples/stage2/seed.lsp\")" \
  -e "VANTREL_MM_ASSISTED_CHECKIN :staging_directory \"$staging\"" \
  -f "$root/examples/stage2/checkin.lsp" >"$log" 2>&1 || {
  echo "The check-in session failed; its output is in $log" >&2
  exit 1
}
grep -E '^(APPLY_RESOLUTION|Model Manager: stored|DB_FINISH_CHECKIN save)' "$log"
echo
echo "Import Queue after the session:"
# The last table the session showed.
awk '/display .* "Import Queue"/ {grab = 1; rows = ""; next}
     grab && /^    (# \||[0-9]+ \|)/ {rows = rows $0 "\n"; next}
     grab && !/^    buttons:/ {grab = 0}
     END {printf "%s", rows}' "$log"
echo
echo "Models in the database: $("$bin/sdhost" -e '(sdsim:mm-model-count)')"
echo "Database:           $database"
echo "Session output:     $log"
