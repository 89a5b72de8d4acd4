#!/usr/bin/env bash
# Sets up (installs what is missing, builds) and runs the whole test suite.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
preset="${TAMRO_TEST_PRESET:-release}"
"$here/scripts/setup.sh" "$preset"
export QT_QPA_PLATFORM=offscreen
cd "$here"
ctest --preset "$preset" "$@"
