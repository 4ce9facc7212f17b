#!/usr/bin/env bash
# Fuzzes the whole repair (open, scans, previews, save) with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/fuzz.sh [SECONDS [LIBFUZZER FLAGS...]]   (default 1800 seconds)
# Seeds: the fixture kit's databases, files whose master tables hold crafted CREATE
# texts, the demo sample and, when present, the shared corpus; the dictionary
# tests/fuzz/schema.dict holds the words of such texts. An input fails past 10 s or
# 1 GiB. Crashing inputs land in build-fuzz/artifacts/. The build waits for
# /tmp/kestrun-build.lock, which every build on the machine takes.
set -euo pipefail
cd "$(dirname "$0")/.."
# Absolute paths: each run of the target works in a scratch current directory.
root=$PWD
seconds=${1:-1800}
shift $(( $# > 0 ? 1 : 0 ))
flock /tmp/kestrun-build.lock cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUN_FUZZ=ON \
  -DKESTRUN_BUILD_TESTS=OFF -DKESTRUN_BUILD_BENCH=OFF > /dev/null
flock /tmp/kestrun-build.lock cmake --build build-fuzz --target fuzz_repair seed_databases make_sample
mkdir -p build-fuzz/seeds build-fuzz/corpus build-fuzz/artifacts
build-fuzz/tests/fuzz/seed_databases build-fuzz/seeds
build-fuzz/sample/make_sample build-fuzz/seeds/sample.db > /dev/null
if [ -d ../shared/corpus ]; then cp ../shared/corpus/*/*.db build-fuzz/seeds/ 2>/dev/null || true; fi
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
build-fuzz/tests/fuzz/fuzz_repair -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
  -max_len=300000 -print_final_stats=1 -dict="$root/tests/fuzz/schema.dict" \
  -artifact_prefix="$root/build-fuzz/artifacts/" "$@" "$root/build-fuzz/corpus" "$root/build-fuzz/seeds"
