#!/usr/bin/env bash
# Builds Lumenveil and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
exec build/app/lumenveil "$@"
