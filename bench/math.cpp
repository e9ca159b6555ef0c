// FastSqrt against the processor's square root, and the vector normalisation built on it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "math/math.h"

namespace {

std::vector<float> Inputs() {
  std::vector<float> values(4096);
  float x = 0.001f;
  for (float& v : values) {
    v = x;
    x = x * 1.0071f + 0.37f;
  }
  return values;
}

void BM_FastSqrt(benchmark::State& state) {
  yulo::BuildSqrtTable();
  const std::vector<float> in = Inputs();
  for (auto _ : state) {
    float sum = 0.0f;
    for (float v : in) sum += yulo::FastSqrt(v);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(in.size()));
}
BENCHMARK(BM_FastSqrt);

void BM_StdSqrt(benchmark::State& state) {
  const std::vector<float> in = Inputs();
  for (auto _ : state) {
    float sum = 0.0f;
    for (float v : in) sum += std::sqrt(v);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(in.size()));
}
BENCHMARK(BM_StdSqrt);

void BM_Vector3Normalize(benchmark::State& state) {
  yulo::BuildSqrtTable();
  const std::vector<float> in = Inputs();
  for (auto _ : state) {
    float sum = 0.0f;
    for (size_t i = 0; i + 2 < in.size(); i += 3) {
      yulo::Vector3 v(in[i], in[i + 1], -in[i + 2]);
      v.Normalize();
      sum += v.x;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(in.size() / 3));
}
BENCHMARK(BM_Vector3Normalize);

}  // namespace
