#!/usr/bin/env bash
# Installs what is missing, builds the tools and runs stage 1, the Import
# Assembler, on the bundled example input into a fresh staging directory.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Only what the main job runs: the module and the two host programs.
bash scripts/build.sh release vt_migrator sdhost pb_pub
root=$(pwd)
bin=$root/build/release/bin
input=$root/examples/stage1/input
staging=$root/build/example-staging
host=$root/build/example-host
rm -rf "$staging" "$host"
mkdir -p "$staging" "$host"
# The host's own files (settings, temporary files, import logs) stay out of
# the user's and out of the staging directory.
export SDUSERCUSTOMIZEDIR=$host/user
export TMPDIR=$host
cd "$host"
echo "== Staging $input"
# The example holds a file that fails to load on purpose: the run completes
# with status 3 and the report lists it.
status=0
"$bin/sdhost" -e "VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"$input\" :STAGING_DIRECTORY \"$staging\" :DISPLAY_REPORT :OFF complete" || status=$?
if [ "$status" -ne 0 ] && [ "$status" -ne 3 ]; then exit "$status"; fi
echo
[ "$status" -eq 3 ] && echo "Completed with files that failed to load or save (exit status 3); see the report."
echo "Staging directory: $staging"
echo "Report:            $staging/report.htm"
