// The placa program itself on the simulated board, through a board of its own so
// that it runs beside other tests: what reaches the board, what the board's inputs
// print as, exit codes, and the live view on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "program_output.h"
#include "shared_board.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using Outcome = ProgramOutput;

// The child's environment: this board, and the driver's folder where the loader
// cannot use libplacaio.so's own run path (under the sanitizers).
void child_environment(const std::string& board) {
  setenv(sim::kBoardEnv, board.c_str(), 1);
#ifdef PLACA_DRIVER_DIR
  setenv("LD_LIBRARY_PATH", PLACA_DRIVER_DIR, 1);
#endif
}

[[noreturn]] void exec_placa(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(PLACA_EXE)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(PLACA_EXE, argv.data());
  _exit(127);
}

class PlacaOnSimulatedBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    board_ = "placa-test-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    dir_ = fs::temp_directory_path() / board_;
    fs::create_directories(dir_);
  }
  void TearDown() override {
    watch_.reset();
    sim::SharedBoard::remove(board_);
    fs::remove_all(dir_);
  }

  // Attaches this test to its board, powering it on.
  sim::SharedBoard& board() {
    if (!watch_) {
      std::string error;
      watch_ = sim::SharedBoard::open(board_, &error);
      EXPECT_NE(watch_, nullptr) << error;
      watch_->with([](sim::BoardState& s) { sim::board_reset(s, sim::monotonic_ns()); });
    }
    return *watch_;
  }
  uint8_t outputs() {
    return board().with([](sim::BoardState& s) { return s.outputs; });
  }
  void hold(int input, bool on) {
    board().with([&](sim::BoardState& s) { sim::board_hold_input(s, input, on); });
  }

  Outcome placa(const std::vector<std::string>& args) {
    const fs::path out = dir_ / "out", err = dir_ / "err";
    const pid_t pid = fork();
    if (pid == 0) {
      child_environment(board_);
      const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int null = open("/dev/null", O_RDONLY);
      if (o < 0 || e < 0 || null < 0) _exit(126);
      dup2(null, 0);
      dup2(o, 1);
      dup2(e, 2);
      exec_placa(args);
    }
    const int code = wait_exit_code(pid);
    return {code, slurp(out), slurp(err)};
  }

  bool segment_exists() const { return fs::exists("/dev/shm" + sim::segment_path(board_)); }

  std::string board_;
  fs::path dir_;
  std::unique_ptr<sim::SharedBoard> watch_;
};

TEST_F(PlacaOnSimulatedBoard, OutputCommandsReachTheBoard) {
  board();
  Outcome r = placa({"salida", "0x5A"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(outputs(), 0x5A);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "outputs: 90 (0x5A, 0b01011010)");

  // A new run starts from image 0: switching one output on switches the rest off.
  r = placa({"conecta", "3"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(outputs(), 0x04);

  r = placa({"motores", "IPPD"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(outputs(), 0x81);

  r = placa({"motor", "4", "P"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(outputs(), 0x00);
}

TEST_F(PlacaOnSimulatedBoard, EntradasShowsHeldInputsAndTheFloorSensor) {
  hold(3, true);
  hold(8, true);
  const Outcome r = placa({"entradas"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "inputs: 140 (0x8C, 0b10001100)\n"
            "  1:off 2:off 3:on 4:on 5:off 6:off 7:off 8:on\n")
      << "input 4 is the floor-1 sensor of the resting cabin";
}

TEST_F(PlacaOnSimulatedBoard, AnalogicasShowsCountsAndVolts) {
  board().with([](sim::BoardState& s) {
    sim::board_set_analog(s, 1, 51);
    sim::board_set_analog(s, 2, 52);
    sim::board_set_analog(s, 3, 204);
    sim::board_set_analog(s, 4, 255);
  });
  const Outcome r = placa({"analogicas"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "analog  count  volts\n"
            "1 (W)      51      0\n"
            "2 (X)      52      1\n"
            "3 (Y)     204      3\n"
            "4 (Z)       -      4\n");
}

TEST_F(PlacaOnSimulatedBoard, WaitsEndWhenTheInputChanges) {
  hold(2, false);
  std::thread press([&] {
    std::this_thread::sleep_for(300ms);
    hold(2, true);
  });
  Outcome r = placa({"espera-on", "2"});
  press.join();
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "input 2 on\n");

  std::thread release([&] {
    std::this_thread::sleep_for(300ms);
    hold(2, false);
  });
  r = placa({"espera-off", "2", "--timeout", "20"});
  release.join();
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "input 2 off\n");
}

TEST_F(PlacaOnSimulatedBoard, WaitGivesUpAfterItsTimeOut) {
  board();
  const auto start = std::chrono::steady_clock::now();
  const Outcome r = placa({"espera-on", "7", "-t", "0.3"});
  EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "placa: input 7 still off after 0.3 s\n");
}

TEST_F(PlacaOnSimulatedBoard, BadArgumentsNeverLoadTheDriver) {
  // The board's segment is made by the driver on first use, so none means no access.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"salida", "256"}, {"motor", "1", "x"}, {"conecta", "9"}, {"nada"}, {}}) {
    const Outcome r = placa(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("placa: "), std::string::npos);
  }
  const Outcome r = placa({"vigila"});  // standard output is a file here
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("terminal"), std::string::npos);
  EXPECT_FALSE(segment_exists());

  const Outcome help = placa({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("espera-off N"), std::string::npos);
  EXPECT_FALSE(segment_exists());
}

// A refused board read as all off with exit code 0, and its name reached the
// terminal raw.
TEST_F(PlacaOnSimulatedBoard, RefusedBoardIsAFailureAndItsNameIsShownEscaped) {
  board_ = "bad/\x1b[31mname";
  const Outcome r = placa({"entradas"});
  EXPECT_EQ(r.code, 3) << r.out << r.err;
  EXPECT_NE(r.err.find("bad/\\x1B[31mname"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("placa: the port driver has no board"), std::string::npos) << r.err;
}

// Reads what the terminal shows until `want` appears or the time runs out.
bool read_until(int fd, std::string& seen, const std::string& want, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (seen.find(want) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left <= 0ms) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return seen.find(want) != std::string::npos;  // EIO once the child has gone
    seen.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

TEST_F(PlacaOnSimulatedBoard, VigilaFollowsTheBoardUntilCtrlC) {
  board();
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    child_environment(board_);
    setenv("TERM", "xterm", 1);
    exec_placa({"vigila"});
  }
  std::string seen;
  EXPECT_TRUE(read_until(terminal, seen, "inputs: 8 (0x08", 5s)) << seen;
  hold(1, true);
  EXPECT_TRUE(read_until(terminal, seen, "inputs: 9 (0x09", 5s)) << "the view follows the board";

  const char ctrl_c = '\x03';  // the terminal turns it into SIGINT
  ASSERT_EQ(write(terminal, &ctrl_c, 1), 1);
  const bool ended = read_until(terminal, seen, "\x1b[?25h", 5s);
  EXPECT_TRUE(ended) << "the cursor is shown again";
  if (!ended) kill(pid, SIGKILL);
  EXPECT_EQ(wait_exit_code(pid), ended ? 0 : 128 + SIGKILL);
  close(terminal);
}

}  // namespace
