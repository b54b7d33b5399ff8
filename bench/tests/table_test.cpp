// The result lines and the table made from them.
#include <gtest/gtest.h>

#include "rss.h"
#include "table.h"

namespace bench {
namespace {

Row make_row(const std::string& driver, const std::string& name, double cpu_ns, double real_ns = 0) {
  Row row;
  row.program = "primitives";
  row.driver = driver;
  row.path = "/x/" + driver + "/io.so";
  row.name = name;
  row.iterations = 1000;
  row.cpu_ns = cpu_ns;
  row.real_ns = real_ns > 0 ? real_ns : cpu_ns;
  return row;
}

TEST(ResultLines, SurviveTheRoundTripWithCounters) {
  Row row = make_row("sim", "pass_idle/call", 123.456789012345, 400.25);
  row.counters["binds"] = 2;
  row.counters["items_per_second"] = 8.1e6;
  const auto back = parse_row(format_row(row));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->program, "primitives");
  EXPECT_EQ(back->driver, "sim");
  EXPECT_EQ(back->path, "/x/sim/io.so");
  EXPECT_EQ(back->name, "pass_idle/call");
  EXPECT_DOUBLE_EQ(back->cpu_ns, 123.456789012345);
  EXPECT_DOUBLE_EQ(back->real_ns, 400.25);
  EXPECT_EQ(back->counters, row.counters);
}

TEST(ResultLines, WithoutCountersAndWithAnEmptyPath) {
  Row row = make_row("none", "LoadIODLL/alone", 5);
  row.path.clear();
  const auto back = parse_row(format_row(row));
  ASSERT_TRUE(back.has_value());
  EXPECT_TRUE(back->counters.empty());
  EXPECT_TRUE(back->path.empty());
}

TEST(ResultLines, RejectWhatIsNotAResult) {
  EXPECT_FALSE(parse_row(""));
  EXPECT_FALSE(parse_row("Benchmark   Time   CPU"));
  EXPECT_FALSE(parse_row("p\td\tpath\tname\t10\t1.5"));                      // fields missing
  EXPECT_FALSE(parse_row("p\td\tpath\tname\t10\tfast\t1\t"));                // not a number
  EXPECT_FALSE(parse_row("p\td\tpath\tname\t10\t1.5x\t1\t"));                // trailing junk
  EXPECT_FALSE(parse_row("p\td\tpath\tname\t10\t1\t1\tbinds"));              // counter without value
  EXPECT_FALSE(parse_row("p\td\tpath\tname\t10\t1\t1\t=3"));                 // counter without name
  EXPECT_FALSE(parse_row("p\td\tpath\tname\t10\t1\t1\tbinds=two"));
  EXPECT_FALSE(parse_row("p\t\tpath\tname\t10\t1\t1\t"));                    // no driver
  EXPECT_FALSE(parse_row("p\td\tpath\tname\t10\tnan\t1\t"));
  EXPECT_TRUE(parse_row("p\td\tpath\tname\t10\t1\t1\t"));
}

TEST(Median, OfOddAndEvenCountsAndOfNothing) {
  EXPECT_DOUBLE_EQ(median({5, 1, 3}), 3);
  EXPECT_DOUBLE_EQ(median({4, 1, 3, 2}), 2.5);
  EXPECT_DOUBLE_EQ(median({7}), 7);
  EXPECT_DOUBLE_EQ(median({}), 0);
}

TEST(Summary, FoldsRepetitionsPerDriverAndKeepsDriversApart) {
  std::vector<Row> rows;
  for (double cpu : {300.0, 100.0, 200.0}) {
    Row row = make_row("recording", "SALIDA/call", cpu);
    row.counters["binds"] = 2;
    rows.push_back(row);
  }
  rows.push_back(make_row("sim", "SALIDA/call", 900));
  const Results results = summarise(rows);
  ASSERT_EQ(results.size(), 2u);
  const Row& recording = results.at("recording").at("SALIDA/call");
  EXPECT_DOUBLE_EQ(recording.cpu_ns, 200);
  EXPECT_DOUBLE_EQ(recording.counters.at("binds"), 2);
  EXPECT_DOUBLE_EQ(results.at("sim").at("SALIDA/call").cpu_ns, 900);
}

TEST(Figures, RatioAndBindingShareNeedBothFigures) {
  EXPECT_DOUBLE_EQ(*ratio(300, 30), 10);
  EXPECT_FALSE(ratio(300, 0));
  EXPECT_FALSE(ratio(0, 30));
  EXPECT_DOUBLE_EQ(*binding_share(400, 100), 0.75);
  EXPECT_LT(*binding_share(100, 110), 0) << "noise is shown, not hidden";
  EXPECT_FALSE(binding_share(100, -1));
}

TEST(Figures, DurationsAndRatesPickTheirUnit) {
  EXPECT_EQ(format_duration(5.25), "5.2 ns");
  EXPECT_EQ(format_duration(152.4), "152 ns");
  EXPECT_EQ(format_duration(1234), "1.23 us");
  EXPECT_EQ(format_duration(4.56e6), "4.56 ms");
  EXPECT_EQ(format_duration(2.5e9), "2.50 s");
  EXPECT_EQ(format_duration(-1), "-");
  EXPECT_EQ(format_rate(2.13e6), "2.13 M/s");
  EXPECT_EQ(format_rate(5200), "5.2 k/s");
  EXPECT_EQ(format_rate(0), "-");
}

TEST(Machine, ProcessorNameComesFromTheFirstModelLine) {
  EXPECT_EQ(processor_from_cpuinfo("processor\t: 0\nmodel name\t: AMD EPYC 7B13  \nmodel name\t: other\n"),
            "AMD EPYC 7B13");
  EXPECT_EQ(processor_from_cpuinfo("processor : 0\n"), "unknown processor");
}

TEST(Table, ComputesRatiosFromCpuTimeAndMarksWhatIsMissing) {
  std::vector<Row> rows = {make_row("recording", "SALIDA/call", 800, 2400),
                           make_row("recording", "SALIDA/unbound", 200),
                           make_row("recording", "SALIDA/bare", 100),
                           make_row("recording", "segundos(0.5)/call", 50)};
  rows[0].counters["binds"] = 2;
  rows[0].counters["reads"] = 3;
  const Machine machine{"Test CPU", 2, "2024-01-02", "1.00 2.00 3.00"};
  const std::string table = render_table(summarise(rows), machine, 5);
  EXPECT_NE(table.find("Test CPU, 2 logical CPUs, load average 1.00 2.00 3.00"), std::string::npos);
  EXPECT_NE(table.find("2024-01-02"), std::string::npos);
  EXPECT_NE(table.find("medians of 5 repetitions"), std::string::npos);
  const size_t salida = table.find("SALIDA");
  ASSERT_NE(salida, std::string::npos);
  const std::string line = table.substr(salida, table.find('\n', salida) - salida);
  EXPECT_NE(line.find("8.0x"), std::string::npos) << line;  // 800 / 100, not the wall 2400
  EXPECT_NE(line.find("75 %"), std::string::npos) << line;
  EXPECT_NE(line.find("2.40 us"), std::string::npos) << line;
  EXPECT_NE(line.find("    2     3 "), std::string::npos) << "binds, then reads: " << line;
  const size_t pause = table.find("segundos(0.5)");
  const std::string pause_line = table.substr(pause, table.find('\n', pause) - pause);
  EXPECT_NE(pause_line.find(" - "), std::string::npos) << pause_line;
  EXPECT_EQ(table.find("controller pass"), std::string::npos) << "no rows, no section";
}

TEST(Table, ShowsMemoryGrowthWithItsSign) {
  Row memory = make_row("sim", "memory/arrival_displays", 1);
  memory.counters = {{"rss_before_kB", 1000}, {"rss_after_kB", 1200}, {"displays", 100000}};
  const std::string table = render_table(summarise({memory}), Machine{"x", 1, "d", ""}, 1);
  EXPECT_NE(table.find("1000 kB before, 1200 kB after 100000 arrival displays (+200 kB)"), std::string::npos)
      << table;
}

TEST(ResidentSize, IsTheSecondFieldOfStatmInKilobytes) {
  EXPECT_EQ(resident_kb_from_statm("2000 300 100 1 0 50 0\n", 4096), 1200);
  EXPECT_FALSE(resident_kb_from_statm("", 4096));
  EXPECT_FALSE(resident_kb_from_statm("2000", 4096));
  EXPECT_FALSE(resident_kb_from_statm("2000 300", 0));
  EXPECT_TRUE(resident_kb().has_value());
  EXPECT_GT(*resident_kb(), 0);
}

}  // namespace
}  // namespace bench
