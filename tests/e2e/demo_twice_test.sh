#!/usr/bin/env bash
# scripts/demo twice on one demo host, from the programs already built: the second run levels as
# the first did (the first run's backup does not stop it).
#   demo_twice_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/levora-demo.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

for run in 1 2; do
    status=0
    LEVORA_BUILD_DIR=$build_dir LEVORA_DEMO_PREFIX=$tmp/prefix \
        "$source_dir/scripts/demo" --console --no-build >"$tmp/out" 2>&1 || status=$?
    if [ "$status" != 0 ] || ! grep -q -E '^[1-9][0-9]* files reached -26 dBov' "$tmp/out"; then
        cat "$tmp/out"
        echo "demo_twice_test: run $run ended with status $status without levelling" >&2
        exit 1
    fi
done
echo "demo_twice_test: two runs, each levelled"
