#!/usr/bin/env bash
# Build the viewer (installing what it needs) and start it with the files given.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
dovlin_build
exec "$DOVLIN_BUILD/bin/dovlin" "$@"
