#!/usr/bin/env bash
# Build everything (installing what it needs) and run every test headless.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
dovlin_build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$DOVLIN_BUILD" --output-on-failure --parallel "$(nproc)"
