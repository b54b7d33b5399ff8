// The main of every benchmark program: Google Benchmark's console output, plus, with
// --rows=FILE, one line per run in FILE for the table (scripts/bench).
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_main.h"
#include "driver.h"
#include "table.h"

namespace {

class RowReporter : public benchmark::ConsoleReporter {
 public:
  RowReporter(std::string program, const bench::Driver& driver)
      : program_(std::move(program)), driver_(driver.name()), path_(driver.path()) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
      bench::Row row;
      row.program = program_;
      row.driver = driver_;
      row.path = path_;
      row.name = run.run_name.function_name;  // without the run's options
      row.iterations = static_cast<double>(run.iterations);
      row.real_ns = run.real_accumulated_time * 1e9 / row.iterations;
      row.cpu_ns = run.cpu_accumulated_time * 1e9 / row.iterations;
      for (const auto& [key, counter] : run.counters) row.counters[key] = counter.value;
      rows_.push_back(std::move(row));
    }
  }

  bool write(std::ostream& out) const {
    for (const bench::Row& row : rows_) out << bench::format_row(row) << '\n';
    out.flush();
    return static_cast<bool>(out);
  }

 private:
  std::string program_, driver_, path_;
  std::vector<bench::Row> rows_;
};

// Takes --rows=FILE out of the arguments before Google Benchmark sees them.
std::string take_rows_flag(int& argc, char** argv) {
  constexpr const char* kFlag = "--rows=";
  std::string file;
  int kept = 0;
  for (int i = 0; i < argc; ++i) {
    if (i > 0 && std::strncmp(argv[i], kFlag, std::strlen(kFlag)) == 0)
      file = argv[i] + std::strlen(kFlag);
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string rows_file = take_rows_flag(argc, argv);
  // Opened now: a program may change its working directory.
  std::ofstream rows;
  if (!rows_file.empty()) rows.open(rows_file, std::ios::app);
  bench::prepare_environment();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  bench::Driver& driver = bench::Driver::current();
  std::fprintf(stderr, "%s: driver %s%s%s\n", bench::program_name(), driver.name().c_str(),
               driver.path().empty() ? "" : " at ", driver.path().c_str());
  bench::register_benchmarks(driver);
  RowReporter reporter(bench::program_name(), driver);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  bench::finish();
  driver.release();
  benchmark::Shutdown();
  if (!rows_file.empty() && !reporter.write(rows)) {
    std::fprintf(stderr, "%s: cannot write %s\n", bench::program_name(), rows_file.c_str());
    return 1;
  }
  return 0;
}
