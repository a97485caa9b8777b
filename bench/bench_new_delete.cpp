// The program's own new and delete against the run-time library's malloc and free, for blocks
// of 16 bytes to 64 KiB, in one run. Each round holds a batch of blocks before releasing them,
// so the heap sees both reuse and growth.
#include "foundation/hl_memory.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

static const int kBatch = 64;

static void BM_new_delete(benchmark::State& state)
{
    const size_t size = (size_t)state.range(0);
    char* blocks[kBatch];
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            blocks[i] = new char[size];
            blocks[i][0] = (char)i; // touch the block, as a caller would
            benchmark::DoNotOptimize(blocks[i]);
        }
        for (int i = 0; i < kBatch; ++i) delete[] blocks[i];
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

static void BM_malloc_free(benchmark::State& state)
{
    const size_t size = (size_t)state.range(0);
    char* blocks[kBatch];
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            blocks[i] = (char*)std::malloc(size);
            blocks[i][0] = (char)i;
            benchmark::DoNotOptimize(blocks[i]);
        }
        for (int i = 0; i < kBatch; ++i) std::free(blocks[i]);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

BENCHMARK(BM_new_delete)->RangeMultiplier(4)->Range(16, 64 << 10);
BENCHMARK(BM_malloc_free)->RangeMultiplier(4)->Range(16, 64 << 10);

BENCHMARK_MAIN();
