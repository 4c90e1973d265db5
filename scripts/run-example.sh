#!/usr/bin/env bash
# Installs what is missing, builds the tools and runs the main job on the
# bundled example data.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release
bin=build/release/bin
echo "== Loading the module into the simulated host"
"$bin/sdhost" -e '(vantrel-migrator::get-module-manifest)'
