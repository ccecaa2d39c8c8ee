#!/usr/bin/env bash
# Builds the window program (and only what it needs) and starts it; arguments go to it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh lumenveil
exec build/app/lumenveil "$@"
