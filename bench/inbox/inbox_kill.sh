#!/usr/bin/env bash
# The inbox under kill -9, at full length: vexlo-cli receive and VEXLO's frame are each killed
# 20 times at random moments of a 50-memo exchange from qm10-sim, then a last exchange runs to
# its end; every memo the device logged as accepted must be in the library folder, whole and
# pixel for pixel, with no partial file left (and a full disk must end the exchange with "!").
# The normal test suite runs the same test with 3 kills a program.
#
#     bench/inbox/inbox_kill.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
export VEXLO_BINARY_DIR=$build VEXLO_INBOX_KILLS=${VEXLO_INBOX_KILLS:-20}
exec "$build/tests/inbox/inbox_fault_tests"
