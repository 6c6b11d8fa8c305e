#!/usr/bin/env bash
# Installs what is missing, builds, and starts kestrel. Without a display it
# runs inside a virtual X server (xvfb-run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir=${KESTREL_BUILD_DIR:-build}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    exec xvfb-run -a "$build_dir/app/kestrel"
fi
exec "$build_dir/app/kestrel"
