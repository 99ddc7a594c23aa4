#include "common/field_reader.h"
#include "sample_data/sample_prices.h"

#include <benchmark/benchmark.h>

namespace {

// A month file of twenty trading days with about 4,000 records each.
const QByteArray& marchMonthFile() {
  static const QByteArray bytes = kabuka::tools::SamplePrices{}.monthFile(2016, 3);
  return bytes;
}

void BM_FieldReader_MonthFile(benchmark::State& state) {
  const QByteArray& bytes = marchMonthFile();
  const std::string_view input(bytes.constData(), size_t(bytes.size()));
  for (auto _ : state) {
    kabuka::FieldReader reader(input);
    kabuka::Field field;
    size_t fields = 0;
    while (reader.next(field)) {
      ++fields;
      benchmark::DoNotOptimize(field.bytes.data());
    }
    benchmark::DoNotOptimize(fields);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}
BENCHMARK(BM_FieldReader_MonthFile);

}  // namespace
