#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
# The browser tests' Node packages, exactly as the lock file pins them.
npm ci --prefix tests/browser --no-audit --no-fund --loglevel=error
if [ -x scripts/mail_server.sh ]; then
  scripts/mail_server.sh || echo "warning: the local mail server could not be started; mail tests will skip"
fi
cd build
ctest --output-on-failure -j "$(nproc)" --timeout 600
