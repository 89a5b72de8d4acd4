#!/usr/bin/env bash
# Sets up (installs what is missing, builds) and starts Tamro, optionally on a folder or file.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/setup.sh" release
exec "$here/build/bin/tamro" "$@"
