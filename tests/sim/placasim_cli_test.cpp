// placasim as a user runs it: exit codes, the trace, the environment of the command.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/mman.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "shared_board.h"

namespace {

struct Result {
  int code;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Cli : public ::testing::Test {
 protected:
  void TearDown() override {
    sim::SharedBoard::remove(board);
    std::remove(out_path.c_str());
    std::remove(err_path.c_str());
  }
  Result placasim(const std::string& args, const std::string& env = "") {
    const std::string cmd = env + " " + PLACASIM_EXE + " --board " + board + " " + args + " >" + out_path +
                            " 2>" + err_path;
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out_path), slurp(err_path)};
  }
  static std::string script(const char* name) { return std::string(SCRIPTS_DIR) + "/" + name; }

  std::string board = "placasim-test-cli-" + std::to_string(getpid());
  std::string out_path = "cli-" + std::to_string(getpid()) + ".out";
  std::string err_path = "cli-" + std::to_string(getpid()) + ".err";
};

TEST_F(Cli, ScriptWithAProgramWiredThroughTheDriverPasses) {
  const Result r = placasim("--script " + script("trip_up.txt") + " -- " + TEST_LIFT);
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("\"event\":\"outputs\",\"outputs\":2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"event\":\"end\",\"ok\":true"), std::string::npos);
  std::istringstream lines(r.out);
  for (std::string l; std::getline(lines, l);) EXPECT_EQ(l.rfind("{\"t\":", 0), 0u) << "not a trace line: " << l;
  EXPECT_NE(r.err.find("test lift polling"), std::string::npos) << "the program's output goes to stderr";
}

TEST_F(Cli, TraceToAFileLeavesStandardOutputToTheProgram) {
  const std::string trace = "cli-" + std::to_string(getpid()) + ".jsonl";
  const Result r = placasim("--script " + script("trip_up.txt") + " --trace " + trace + " -- " + TEST_LIFT);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(slurp(trace).find("\"event\":\"end\",\"ok\":true"), std::string::npos);
  EXPECT_NE(r.out.find("test lift polling"), std::string::npos);
  std::remove(trace.c_str());
}

TEST_F(Cli, FailedExpectationGivesExitOne) {
  const Result r = placasim("--script " + script("too_soon.txt") + " -- " + TEST_LIFT);
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("\"ok\":false"), std::string::npos);
}

TEST_F(Cli, BadScriptIsRefusedBeforeAnythingRuns) {
  const Result r = placasim("--script " + script("bad.txt"));
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(placasim("--script /nonexistent/script.txt").code, 2);
  EXPECT_EQ(placasim("--frobnicate").code, 2);
}

TEST_F(Cli, ForeignBoardIsRefusedWithAMessage) {
  const int fd = shm_open(sim::segment_path(board).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 100), 0);
  close(fd);
  const Result r = placasim("--script " + script("too_soon.txt"));
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("refusing"), std::string::npos) << r.err;
}

TEST_F(Cli, CommandGetsTheBoardAndTheDriverAndGivesItsExitCode) {
  const std::string check =
      "'test \"$PLACASIM_BOARD\" = " + board + " && case \"$LD_LIBRARY_PATH\" in *drivers/sim*) exit 7;; esac; exit 1'";
  EXPECT_EQ(placasim("--no-panel -- sh -c " + check).code, 7);
  EXPECT_EQ(placasim("-- sh -c " + check, "env -u DISPLAY").code, 7) << "no display: runs without the panel";
  EXPECT_EQ(placasim("--no-panel -- sh -c 'kill -TERM $$'").code, 128 + 15);
  const Result missing = placasim("--no-panel -- /nonexistent/program");
  EXPECT_EQ(missing.code, 127);
  EXPECT_NE(missing.err.find("cannot run"), std::string::npos);
}

}  // namespace
