// placasim as a user runs it: exit codes, the trace, the environment of the command.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "program_output.h"
#include "shared_board.h"

namespace {

using Result = ProgramOutput;

class Cli : public ::testing::Test {
 protected:
  void TearDown() override {
    TearDownFiles();
    sim::SharedBoard::remove(board);
    std::remove(out_path.c_str());
    std::remove(err_path.c_str());
  }
  Result placasim(const std::string& args, const std::string& env = "") {
    const std::string cmd = env + " " + PLACASIM_EXE + " --board " + board + " " + args + " >" + out_path +
                            " 2>" + err_path;
    const int status = std::system(cmd.c_str());
    return {exit_code_of(status), slurp(out_path), slurp(err_path)};
  }
  static std::string script(const char* name) { return std::string(SCRIPTS_DIR) + "/" + name; }
  // A script of this test, removed afterwards.
  std::string write_script(const std::string& text) {
    const std::string path = "cli-" + std::to_string(getpid()) + "-" + std::to_string(files_.size()) + ".txt";
    std::ofstream(path, std::ios::binary) << text;
    files_.push_back(path);
    return path;
  }
  std::string scratch(const char* what) {
    files_.push_back("cli-" + std::to_string(getpid()) + "-" + std::to_string(files_.size()) + "." + what);
    return files_.back();
  }
  // Starts a program in the background, its output into files; env is NAME=VALUE.
  pid_t spawn(const std::vector<std::string>& argv, const std::string& out, const std::vector<std::string>& env = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
      if (!freopen(out.c_str(), "w", stdout) || !freopen((out + ".err").c_str(), "w", stderr)) _exit(126);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    files_.push_back(out);
    files_.push_back(out + ".err");
    return pid;
  }
  static int wait_for(pid_t pid) { return wait_exit_code(pid); }
  // Waits up to 10 s for the file to hold the text.
  static bool shows(const std::string& path, const std::string& text) {
    for (int i = 0; i < 1000; ++i) {
      if (slurp(path).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  void TearDownFiles() {
    for (const std::string& f : files_) std::remove(f.c_str());
  }
  std::vector<std::string> files_;

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
  // The reason on the terminal too, once, with the step's line.
  const std::string said = script("too_soon.txt") + ": line 3: expect floor 3 within 1 failed (found outputs ";
  EXPECT_EQ(r.err.find("placasim: " + said), r.err.rfind("placasim: " + said)) << r.err;
  EXPECT_NE(r.err.find("placasim: " + said), std::string::npos) << r.err;
}

TEST_F(Cli, WindowStepsWithoutADisplayFailWithTheirLineAndOthersRunHeadless) {
  const std::string windows = write_script("wait 0.01\nwindow \"Con Memoria\" within 1\n");
  Result r = placasim("--script " + windows, "DISPLAY=");
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("\"line\":2,\"step\":\"window \\\"Con Memoria\\\" within 1\",\"ok\":false,\"error\":\"no display "
                       "to find windows on: DISPLAY is not set\""),
            std::string::npos) << r.out;
  // A display that is not there: no X server listens on display 987.
  r = placasim("--script " + write_script("click Ascensor 275 50\n"), "DISPLAY=:987");
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("cannot open the display :987"), std::string::npos) << r.out;
  r = placasim("--script " + write_script("wait 0.01\n"), "DISPLAY=");
  EXPECT_EQ(r.code, 0) << r.out << r.err;
}

// An X server that accepts connections and never answers, as a stopped one does.
class FrozenDisplay {
 public:
  FrozenDisplay() : number_(2000 + getpid() % 5000) {
    mkdir("/tmp/.X11-unix", 01777);
    path_ = "/tmp/.X11-unix/X" + std::to_string(number_);
    unlink(path_.c_str());
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path_.c_str());
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 8) != 0) ADD_FAILURE() << path_;
  }
  ~FrozenDisplay() {
    close(fd_);
    unlink(path_.c_str());
  }
  std::string name() const { return ":" + std::to_string(number_); }

 private:
  int number_, fd_ = -1;
  std::string path_;
};

TEST_F(Cli, AFrozenDisplayEndsAWindowStepAtItsLimit) {
  FrozenDisplay frozen;
  const auto start = std::chrono::steady_clock::now();
  const Result r = placasim("--script " + write_script("window \"Con Memoria\" within 1\n"), "DISPLAY=" + frozen.name());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("the display did not answer within 1.0 s"), std::string::npos) << r.out;
  EXPECT_LT(seconds, 4.0);
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

// A directory ran as an empty script; /dev/zero grew without bound; a FIFO held
// placasim in open; a read error aborted it; a long line was printed back whole.
TEST_F(Cli, ScriptsThatAreNoScriptsAreRefused) {
  const Result dir = placasim("--script .");
  EXPECT_EQ(dir.code, 2);
  EXPECT_NE(dir.err.find("is a directory"), std::string::npos) << dir.err;
  EXPECT_EQ(dir.out, "") << "nothing ran";

  for (const std::string path : {"/dev/zero", "/proc/self/mem"}) {
    const auto t0 = std::chrono::steady_clock::now();
    const Result r = placasim("--script " + path);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 10);
    EXPECT_EQ(r.code, 2) << path;
    EXPECT_NE(r.err.find("placasim: " + path + ": "), std::string::npos) << r.err.substr(0, 300);
    EXPECT_LT(r.err.size(), 1000u) << "nothing of it is printed back";
  }
  // A FIFO is read as a pipe is; with no one writing to it, it is an empty script.
  const std::string fifo = scratch("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(placasim("--script " + fifo).code, 0);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 10);
  const Result piped = placasim("--script /dev/stdin -- " TEST_LIFT, "cat " + script("trip_up.txt") + " |");
  EXPECT_EQ(piped.code, 0) << piped.err;

  std::string comments;
  while (comments.size() <= (1u << 20)) comments += "# a comment line\n";
  const Result big = placasim("--script " + write_script(comments));
  EXPECT_EQ(big.code, 2);
  EXPECT_NE(big.err.find("longer than 1048576 bytes"), std::string::npos) << big.err.substr(0, 300);
  EXPECT_LT(big.err.size(), 1000u);
}

TEST_F(Cli, RunStepWithBytesThatAreNotUtf8KeepsTheTraceValid) {
  const Result r = placasim("--script " + write_script("run true caf\xe9 \xff\xfe end\nrun true \xc3\xa9t\xc3\xa9\n"));
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("true caf\\ufffd \\ufffd\\ufffd end"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("true \xc3\xa9t\xc3\xa9"), std::string::npos) << "UTF-8 is kept as it is: " << r.out;
  EXPECT_EQ(r.out.find('\xff'), std::string::npos);
  EXPECT_EQ(r.out.find("\xe9 "), std::string::npos);
}

// Whether a process whose command line holds text is running.
bool running(const std::string& text) {
  // [s]: the shell that runs pgrep must not match itself.
  return std::system(("pgrep -f '[" + text.substr(0, 1) + "]" + text.substr(1) + "' >/dev/null").c_str()) == 0;
}

// What the command and the run steps started themselves went on running (and held
// the board) after placasim ended.
TEST_F(Cli, ScriptModeEndsTheSameWayOnEachStopSignalAndTracesAsItGoes) {
  const std::string grandchild = "sleep 1000." + std::to_string(getpid());
  const std::string long_wait = write_script("run " + grandchild + "1 & true\nwait 60\n");
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    for (const bool with_command : {false, true}) {
      SCOPED_TRACE(std::string(strsignal(sig)) + (with_command ? ", with a command" : ", without a command"));
      const std::string trace = scratch("jsonl");
      std::vector<std::string> argv = {PLACASIM_EXE, "--board", board, "--script", long_wait, "--trace", trace};
      if (with_command) argv.insert(argv.end(), {"--", "/bin/sh", "-c", grandchild + "2; true"});
      const pid_t pid = spawn(argv, scratch("out"));
      ASSERT_TRUE(shows(trace, "\"step\":\"wait 60\"")) << "the trace is written as the run goes: " << slurp(trace);
      kill(pid, sig);
      EXPECT_EQ(wait_for(pid), 1);
      const std::string t = slurp(trace);
      EXPECT_NE(t.find("\"event\":\"interrupted\""), std::string::npos) << t;
      EXPECT_NE(t.find("\"event\":\"end\",\"ok\":false"), std::string::npos) << t;
      EXPECT_FALSE(running(grandchild + "1")) << "left by a run step";
      EXPECT_FALSE(running(grandchild + "2")) << "left by the command";
      std::system(("pkill -f '" + grandchild + "'").c_str());
    }
  }
}

TEST_F(Cli, ProgramsGetTheStandardDescriptorsOnly) {
  // The shell's own descriptors, as ls shows them: all it was given.
  const std::string listing = "ls /proc/$$/fd";
  const Result r = placasim("--script " + write_script("run " + listing + "\nwait 0.5\n") + " --trace " +
                            scratch("jsonl") + " --vcd " + scratch("vcd") + " -- sh -c '" + listing +
                            "; exec sleep 60'");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "0\n1\n2\n0\n1\n2\n");
}

// A failed write passed for success; a refused run wiped the outputs of the last one.
TEST_F(Cli, OutputsAreWrittenInFullOrTheRunFailsAndARefusedRunTouchesNone) {
  const std::string wait = write_script("wait 0\n");
  Result r = placasim("--script " + wait + " --trace /dev/full");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("the trace /dev/full could not be written"), std::string::npos) << r.err;
  const int status = std::system((std::string(PLACASIM_EXE) + " --board " + board + " --script " + wait +
                                  " >/dev/full 2>" + err_path).c_str());
  EXPECT_EQ(exit_code_of(status), 2);
  EXPECT_NE(slurp(err_path).find("the trace on standard output could not be written"), std::string::npos);

  const std::string trace = scratch("jsonl"), vcd = scratch("vcd");
  std::ofstream(trace) << "old\n";
  std::ofstream(vcd) << "old\n";
  r = placasim("--script " + wait + " --trace " + trace + " --vcd " + vcd + " --board bad/name");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(slurp(trace) + slurp(vcd), "old\nold\n") << "a refused run leaves them";
  for (const std::string& args : {"--trace " + wait, "--trace " + trace + " --vcd " + trace, "--vcd ./" + wait,
                                  std::string("--trace ''"), std::string("--vcd ''"), std::string("--board ''")}) {
    r = placasim("--script " + wait + " " + args);
    EXPECT_EQ(r.code, 2) << args;
    EXPECT_FALSE(r.err.empty()) << args;
  }
  EXPECT_EQ(slurp(wait), "wait 0\n") << "the script is no output";
}

TEST_F(Cli, SecondRunOnABusyBoardIsRefusedAndJoiningStillWorks) {
  const std::string ready = scratch("ready");
  const pid_t first = spawn({PLACASIM_EXE, "--board", board, "--no-panel", "--", "/bin/sh", "-c",
                             "touch " + ready + "; exec sleep 60"},
                            scratch("first"));
  for (int i = 0; i < 1000 && access(ready.c_str(), F_OK) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(access(ready.c_str(), F_OK), 0) << "the first run started its command";

  const Result second = placasim("--no-panel -- true");
  EXPECT_EQ(second.code, 2) << second.err;
  EXPECT_NE(second.err.find("\"" + board + "\""), std::string::npos) << second.err;
  EXPECT_NE(second.err.find("pid " + std::to_string(first)), std::string::npos) << second.err;
  EXPECT_NE(second.err.find("--board"), std::string::npos) << second.err;

  const Result watcher = placasim("--script " + write_script("wait 0.1\n"));
  EXPECT_EQ(watcher.code, 0) << "joining without a command: " << watcher.err;

  kill(first, SIGTERM);
  wait_for(first);
  EXPECT_EQ(placasim("--no-panel -- true").code, 0) << "the board is free once the run has ended";
}

TEST_F(Cli, ProgramOnTheBoardKeepsARunFromPoweringItOn) {
  const std::string out = scratch("lift");
  const pid_t lift = spawn({TEST_LIFT}, out,
                           {"PLACASIM_BOARD=" + board, std::string("LD_LIBRARY_PATH=") + SIM_DRIVER_DIR});
  ASSERT_TRUE(shows(out, "polling"));
  Result run{};
  for (int i = 0; i < 50 && run.code != 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    run = placasim("--no-panel -- true");
  }
  EXPECT_EQ(run.code, 2);
  EXPECT_NE(run.err.find("pid " + std::to_string(lift)), std::string::npos) << run.err;
  kill(lift, SIGKILL);
  wait_for(lift);
}

TEST_F(Cli, BoardThatOthersMayWriteOrWhoseLockIsNeverLetGoIsRefused) {
  ASSERT_EQ(placasim("--script " + write_script("wait 0\n")).code, 0);
  const int fd = shm_open(sim::segment_path(board).c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(fchmod(fd, 0666), 0);
  Result r = placasim("--no-panel -- true");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("/dev/shm/" + board), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("may be written by other users"), std::string::npos) << r.err;

  ASSERT_EQ(fchmod(fd, 0600), 0);
  close(fd);
  // This process holds the board's lock for as long as the run takes.
  auto held = sim::SharedBoard::open(board, nullptr);
  ASSERT_NE(held, nullptr);
  const std::string script = write_script("wait 0\n");
  const auto t0 = std::chrono::steady_clock::now();
  held->with([&](sim::BoardState&) { r = placasim("--script " + script); });
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), sim::kLockWaitMs / 1000.0 + 3);
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("lock"), std::string::npos) << r.err;
}

}  // namespace
