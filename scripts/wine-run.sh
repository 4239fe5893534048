#!/usr/bin/env bash
# Runs a Windows program of this project under Wine with the project's prefix.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
exec wine "$@"
