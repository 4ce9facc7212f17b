#!/usr/bin/env bash
# Fuzzes the whole repair (open, scans, previews, save) with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/fuzz.sh [SECONDS]   (default 1800)
# Seeds: the fixture kit's databases, the demo sample and, when present, the shared
# corpus. Crashing inputs land in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1800}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUN_FUZZ=ON -DKESTRUN_BUILD_TESTS=OFF \
  -DKESTRUN_BUILD_BENCH=OFF > /dev/null
cmake --build build-fuzz --target fuzz_repair seed_databases make_sample
mkdir -p build-fuzz/seeds build-fuzz/corpus build-fuzz/artifacts
build-fuzz/tests/fuzz/seed_databases build-fuzz/seeds
build-fuzz/sample/make_sample build-fuzz/seeds/sample.db > /dev/null
if [ -d ../shared/corpus ]; then cp ../shared/corpus/*/*.db build-fuzz/seeds/ 2>/dev/null || true; fi
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
build-fuzz/tests/fuzz/fuzz_repair -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
  -max_len=300000 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ \
  build-fuzz/corpus build-fuzz/seeds
