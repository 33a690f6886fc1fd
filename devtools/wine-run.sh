#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix with the loader for its kind (see
# wine-env.sh); CTest's emulator for the Windows builds. The exit code is the program's, modulo 256.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
brevane_wine_prefix
brevane_wine "$@"
