#include "table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace bench {

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

std::optional<double> number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string printf_string(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string pad(std::string text, size_t width, bool right) {
  if (text.size() >= width) return text;
  const std::string fill(width - text.size(), ' ');
  return right ? fill + text : text + fill;
}

const Row* find(const std::map<std::string, Row>& rows, const std::string& name) {
  const auto it = rows.find(name);
  return it == rows.end() ? nullptr : &it->second;
}

std::optional<double> counter(const Row* row, const std::string& key) {
  if (row == nullptr) return std::nullopt;
  const auto it = row->counters.find(key);
  if (it == row->counters.end()) return std::nullopt;
  return it->second;
}

std::string or_dash(const std::optional<std::string>& text) { return text ? *text : "-"; }

// One line of the cost table of a benchmark measured as call, unbound and bare.
std::string cost_line(const std::map<std::string, Row>& rows, const std::string& label,
                      const std::string& base) {
  const Row* call = find(rows, base + "/call");
  const Row* unbound = find(rows, base + "/unbound");
  const Row* bare = find(rows, base + "/bare");
  const auto binds = counter(call, "binds");
  const auto reads = counter(call, "reads");
  const double call_ns = call ? call->cpu_ns : 0;
  const auto r = bare ? ratio(call_ns, bare->cpu_ns) : std::nullopt;
  const auto share = unbound ? binding_share(call_ns, unbound->cpu_ns) : std::nullopt;
  std::string line = "  " + pad(label, 26, false);
  line += pad(binds ? printf_string("%.0f", *binds) : "-", 5, true);
  line += pad(reads ? printf_string("%.0f", *reads) : "-", 6, true);
  line += pad(call ? format_duration(call_ns) : "-", 10, true);
  line += pad(call ? format_duration(call->real_ns) : "-", 10, true);
  line += pad(call ? format_rate(1e9 / call_ns) : "-", 11, true);
  line += pad(unbound ? format_duration(unbound->cpu_ns) : "-", 11, true);
  line += pad(bare ? format_duration(bare->cpu_ns) : "-", 10, true);
  line += pad(or_dash(r ? std::optional(printf_string("%.1fx", *r)) : std::nullopt), 9, true);
  line += pad(or_dash(share ? std::optional(printf_string("%.0f %%", *share * 100)) : std::nullopt), 9,
              true);
  return line + "\n";
}

std::string cost_header(const std::string& first) {
  return "  " + pad(first, 26, false) + pad("binds", 5, true) + pad("reads", 6, true) + pad("cpu", 10, true) +
         pad("wall", 10, true) + pad("per second", 11, true) + pad("no binding", 11, true) +
         pad("bare", 10, true) + pad("cpu/bare", 9, true) + pad("binding", 9, true) + "\n";
}

constexpr const char* kPrimitives[] = {"SALIDA", "CONECTA", "M1", "VE_INT", "SD_INT", "leeanalogica",
                                       "segundos(0.5)"};

}  // namespace

std::string format_row(const Row& row) {
  std::ostringstream out;
  out.precision(17);
  out << row.program << '\t' << row.driver << '\t' << row.path << '\t' << row.name << '\t'
      << row.iterations << '\t' << row.real_ns << '\t' << row.cpu_ns << '\t';
  bool first = true;
  for (const auto& [key, value] : row.counters) {
    out << (first ? "" : ",") << key << '=' << value;
    first = false;
  }
  return out.str();
}

std::optional<Row> parse_row(const std::string& line) {
  const std::vector<std::string> fields = split(line, '\t');
  if (fields.size() != 8) return std::nullopt;
  Row row;
  row.program = fields[0];
  row.driver = fields[1];
  row.path = fields[2];
  row.name = fields[3];
  if (row.driver.empty() || row.name.empty()) return std::nullopt;
  const auto iterations = number(fields[4]), real = number(fields[5]), cpu = number(fields[6]);
  if (!iterations || !real || !cpu) return std::nullopt;
  row.iterations = *iterations;
  row.real_ns = *real;
  row.cpu_ns = *cpu;
  if (!fields[7].empty()) {
    for (const std::string& pair : split(fields[7], ',')) {
      const size_t equals = pair.find('=');
      if (equals == std::string::npos || equals == 0) return std::nullopt;
      const auto value = number(pair.substr(equals + 1));
      if (!value) return std::nullopt;
      row.counters[pair.substr(0, equals)] = *value;
    }
  }
  return row;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

Results summarise(const std::vector<Row>& rows) {
  std::map<std::string, std::map<std::string, std::vector<const Row*>>> groups;
  for (const Row& row : rows) groups[row.driver][row.name].push_back(&row);
  Results results;
  for (const auto& [driver, by_name] : groups) {
    for (const auto& [name, runs] : by_name) {
      Row folded = *runs.front();
      std::vector<double> real, cpu, iterations;
      std::map<std::string, std::vector<double>> counters;
      for (const Row* run : runs) {
        real.push_back(run->real_ns);
        cpu.push_back(run->cpu_ns);
        iterations.push_back(run->iterations);
        for (const auto& [key, value] : run->counters) counters[key].push_back(value);
      }
      folded.real_ns = median(real);
      folded.cpu_ns = median(cpu);
      folded.iterations = median(iterations);
      folded.counters.clear();
      for (const auto& [key, values] : counters) folded.counters[key] = median(values);
      results[driver][name] = folded;
    }
  }
  return results;
}

std::string format_duration(double ns) {
  if (!std::isfinite(ns) || ns < 0) return "-";
  if (ns < 1e3) return printf_string(ns < 10 ? "%.1f ns" : "%.0f ns", ns);
  if (ns < 1e6) return printf_string("%.2f us", ns / 1e3);
  if (ns < 1e9) return printf_string("%.2f ms", ns / 1e6);
  return printf_string("%.2f s", ns / 1e9);
}

std::string format_rate(double per_second) {
  if (!std::isfinite(per_second) || per_second <= 0) return "-";
  if (per_second >= 1e6) return printf_string("%.2f M/s", per_second / 1e6);
  if (per_second >= 1e3) return printf_string("%.1f k/s", per_second / 1e3);
  return printf_string("%.0f /s", per_second);
}

std::optional<double> ratio(double call_ns, double bare_ns) {
  if (!(call_ns > 0) || !(bare_ns > 0)) return std::nullopt;
  return call_ns / bare_ns;
}

std::optional<double> binding_share(double call_ns, double unbound_ns) {
  if (!(call_ns > 0) || !(unbound_ns > 0)) return std::nullopt;
  return 1 - unbound_ns / call_ns;  // negative only through noise, and shown as such
}

std::string processor_from_cpuinfo(const std::string& cpuinfo) {
  std::istringstream in(cpuinfo);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) != 0) continue;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(colon + 1);
    const size_t begin = name.find_first_not_of(" \t");
    const size_t end = name.find_last_not_of(" \t");
    if (begin != std::string::npos) return name.substr(begin, end - begin + 1);
  }
  return "unknown processor";
}

std::string render_table(const Results& results, const Machine& machine, int repetitions) {
  std::string out;
  out += "Processor: " + machine.processor + ", " + std::to_string(machine.cpus) + " logical CPUs";
  if (!machine.load.empty()) out += ", load average " + machine.load + " when the table was made";
  out += "\n";
  out += "Date: " + machine.date + "; times are medians of " + std::to_string(repetitions) +
         " repetitions, each ratio from one run of one program\n";
  for (const auto& [driver, rows] : results) {
    const std::string path = rows.empty() ? "" : rows.begin()->second.path;
    out += "\nDriver " + driver + (path.empty() ? "" : " (" + path + ")") + "\n";
    if (const Row* alone = find(rows, "LoadIODLL/alone")) {
      out += "  LoadIODLL alone (1 load, 13 look-ups): " + format_duration(alone->cpu_ns) + " cpu";
      if (const Row* switched = find(rows, "LoadIODLL/switched"))
        out += "; through the bench's switch " + format_duration(switched->cpu_ns);
      out += "\n";
    }
    std::string primitives;
    for (const char* primitive : kPrimitives)
      if (find(rows, std::string(primitive) + "/call")) primitives += cost_line(rows, primitive, primitive);
    if (!primitives.empty()) out += "\n" + cost_header("primitive") + primitives;
    if (find(rows, "pass_idle/call") || find(rows, "pass_at_rest/call")) {
      out += "\n" + cost_header("controller pass");
      if (find(rows, "pass_idle/call")) out += cost_line(rows, "cabin idle", "pass_idle");
      if (find(rows, "pass_at_rest/call")) out += cost_line(rows, "at rest, display repeats", "pass_at_rest");
    }
    const Row* reaction = find(rows, "reaction/threaded");
    const Row* in_pass = find(rows, "reaction/in_pass");
    if (reaction || in_pass) out += "\n  reaction, input change to motor byte back from the driver:\n";
    if (in_pass) out += "    within the pass that reads it: " + format_duration(in_pass->real_ns) + "\n";
    if (const auto p50 = counter(reaction, "p50_ns")) {
      out += "    controller on its own thread: median " + format_duration(*p50) + ", 90th percentile " +
             format_duration(counter(reaction, "p90_ns").value_or(-1)) + ", worst " +
             format_duration(counter(reaction, "max_ns").value_or(-1)) + " (" +
             printf_string("%.0f", counter(reaction, "samples").value_or(0)) + " changes)\n";
    }
    const Row* memory = find(rows, "memory/arrival_displays");
    if (const auto before = counter(memory, "rss_before_kB")) {
      const double after = counter(memory, "rss_after_kB").value_or(0);
      out += "  resident size: " + printf_string("%.0f kB", *before) + " before, " +
             printf_string("%.0f kB", after) + " after " +
             printf_string("%.0f", counter(memory, "displays").value_or(0)) + " arrival displays (" +
             printf_string("%+.0f kB", after - *before) + ")\n";
    }
  }
  return out;
}

}  // namespace bench
