// Results of the benchmark programs as lines of text, and the table made from them.
// One line per timed run; repetitions of a benchmark are folded into their median.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

struct Row {
  std::string program, driver, path, name;
  double iterations = 0;
  double real_ns = 0;  // per iteration
  double cpu_ns = 0;   // per iteration
  std::map<std::string, double> counters;
};

// Tab-separated: program, driver, path, name, iterations, real ns, cpu ns, then the
// counters as key=value joined by commas. Names hold no tab, comma or '='.
std::string format_row(const Row& row);
std::optional<Row> parse_row(const std::string& line);

double median(std::vector<double> values);

// The median of every benchmark per driver: real and cpu time and each counter
// folded separately.
using Results = std::map<std::string, std::map<std::string, Row>>;  // driver -> name -> row
Results summarise(const std::vector<Row>& rows);

std::string format_duration(double ns);  // "152 ns", "1.23 us", "4.56 ms", "-" when unknown
std::string format_rate(double per_second);  // "2.13 M/s"
// call / bare, and the share of the call that binding costs: 1 - unbound / call.
// Both are empty when a figure is missing or not positive.
std::optional<double> ratio(double call_ns, double bare_ns);
std::optional<double> binding_share(double call_ns, double unbound_ns);

struct Machine {
  std::string processor;  // model name
  int cpus = 0;
  std::string date;       // YYYY-MM-DD
  std::string load;       // the three load averages, as /proc/loadavg has them
};
std::string processor_from_cpuinfo(const std::string& cpuinfo);

std::string render_table(const Results& results, const Machine& machine, int repetitions);

}  // namespace bench
