#!/usr/bin/env bash
# The run command: installs what is missing, builds, and starts the headless
# server in data/ of the checkout (the data files are kept there).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
if [ ! -x build/bin/zelvorad ]; then
  echo "The server (zelvorad) is not built yet: only the data stores exist so far."
  exit 0
fi
mkdir -p data
cd data
exec ../build/bin/zelvorad
