#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$root/build"
# No display or sound card is needed: every test runs on the offscreen platform.
export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software
# The archive's tests run against a real PostgreSQL server as well as SQLite.
"$root/scripts/with-postgresql.sh" ctest --output-on-failure -j2
