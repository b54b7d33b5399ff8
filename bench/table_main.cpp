// Prints the table from the row files of the benchmark programs:
//   bench_table REPETITIONS FILE...
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "table.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s REPETITIONS ROWS_FILE...\n", argv[0]);
    return 2;
  }
  std::vector<bench::Row> rows;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i]);
    if (!in) {
      std::fprintf(stderr, "bench_table: cannot read %s\n", argv[i]);
      continue;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
      ++number;
      if (auto row = bench::parse_row(line))
        rows.push_back(std::move(*row));
      else
        std::fprintf(stderr, "bench_table: %s:%d: not a result line\n", argv[i], number);
    }
  }
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::stringstream text;
  text << cpuinfo.rdbuf();
  bench::Machine machine;
  machine.processor = bench::processor_from_cpuinfo(text.str());
  machine.cpus = static_cast<int>(std::thread::hardware_concurrency());
  const std::time_t now = std::time(nullptr);
  char date[16];
  std::strftime(date, sizeof date, "%Y-%m-%d", std::localtime(&now));
  machine.date = date;
  std::ifstream loadavg("/proc/loadavg");
  std::string one, five, fifteen;
  if (loadavg >> one >> five >> fifteen) machine.load = one + " " + five + " " + fifteen;
  std::fputs(bench::render_table(bench::summarise(rows), machine, std::atoi(argv[1])).c_str(), stdout);
  return rows.empty() ? 1 : 0;
}
