// Runs inside the virtual machine: drives the parallel-port io.so, found through the
// loader path as a user selects it, and checks what the real kernel and port do.
// Prints one "ok - ..." or "not ok - ..." line per check; exit code 1 if any failed.
#include <grp.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/io.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "board/io.h"

namespace {

constexpr int32_t kData = 888, kStatus = 889, kControl = 890;

uint8_t in(int32_t port) { return static_cast<uint8_t>(PortIn(port)); }

int failures = 0;

void check(bool good, const std::string& what) {
  std::printf("%s - %s\n", good ? "ok" : "not ok", what.c_str());
  std::fflush(stdout);
  if (!good) ++failures;
}

std::string hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02x", value);
  return text;
}

// Binds io.so through the system's own binding, as the library and the lift program do.
void load() {
  if (LoadIODLL() != 0) {
    std::fprintf(stderr, "probe: io.so not found\n");
    std::exit(2);
  }
  for (void* entry :
       {reinterpret_cast<void*>(PortOut), reinterpret_cast<void*>(PortWordOut), reinterpret_cast<void*>(PortIn),
        reinterpret_cast<void*>(PortWordIn), reinterpret_cast<void*>(PortDWordIn),
        reinterpret_cast<void*>(SetPortBit), reinterpret_cast<void*>(ClrPortBit),
        reinterpret_cast<void*>(NotPortBit), reinterpret_cast<void*>(GetPortBit),
        reinterpret_cast<void*>(RightPortShift), reinterpret_cast<void*>(LeftPortShift),
        reinterpret_cast<void*>(IsDriverInstalled)})
    if (entry == nullptr) {
      std::fprintf(stderr, "probe: io.so lacks an entry point\n");
      std::exit(2);
    }
}

// The driver's messages on standard error, kept for checking.
class StderrCapture {
 public:
  StderrCapture() : file_(memfd_create("stderr", 0)), saved_(dup(2)) { dup2(file_, 2); }
  std::string text() {
    dup2(saved_, 2);
    std::string all;
    char buffer[4096];
    ssize_t n;
    lseek(file_, 0, SEEK_SET);
    while ((n = read(file_, buffer, sizeof buffer)) > 0) all.append(buffer, static_cast<size_t>(n));
    std::fprintf(stderr, "%s", all.c_str());  // still shown on the console
    return all;
  }

 private:
  int file_, saved_;
};

// The ppdev node this process has open, if any.
std::string open_node() {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (target.rfind("/dev/parport", 0) == 0) return target;
  }
  return {};
}

sigjmp_buf fault_exit;
void on_fault(int) { siglongjmp(fault_exit, 1); }

// Whether this thread may use the I/O port itself: without permission inb faults.
bool io_permitted(uint16_t port) {
  struct sigaction action {
  }, old{};
  action.sa_handler = on_fault;
  sigaction(SIGSEGV, &action, &old);
  volatile bool permitted = false;
  if (sigsetjmp(fault_exit, 1) == 0) {
    (void)inb(port);
    permitted = true;
  }
  sigaction(SIGSEGV, &old, nullptr);
  return permitted;
}

// Which way the first port is served: "ppdev /dev/parportN" or "raw".
void check_path(const std::string& expected) {
  const std::string node = open_node();
  const bool raw = io_permitted(0x379);
  std::string found = node.empty() ? (raw ? "raw" : "neither") : "ppdev " + node + (raw ? " and raw" : "");
  check(found == expected, "served by " + expected + " (found " + found + ")");
}

// Every register and derived operation on the first port, whichever way it is served.
void exercise(const std::string& path, const std::string& marker) {
  StderrCapture messages;
  PortOut(kData, 0);
  check(IsDriverInstalled() == 1, "IsDriverInstalled is 1");
  check_path(path);

  bool data_ok = true;
  for (unsigned v : {0x00u, 0x55u, 0xAAu, 0xFFu, 0x81u}) {
    PortOut(kData, static_cast<uint8_t>(v));
    data_ok = data_ok && in(kData) == v;
  }
  check(data_ok, "data bytes read back with PortIn(888)");

  bool control_ok = true;
  for (unsigned v = 0; v < 16; ++v) {
    PortOut(kControl, static_cast<uint8_t>(v));
    control_ok = control_ok && in(kControl) == v;
  }
  check(control_ok, "control values 0..15 read back");
  PortOut(kControl, 0xFF);
  check(in(kControl) == 0x0F, "control reads bits 0..3 only, after 0xFF: " + hex(in(kControl)));
  check(GetPortBit(kControl, 4) == 0 && GetPortBit(kControl, 6) == 0 && GetPortBit(kControl, 7) == 0,
        "GetPortBit(890, 4, 6, 7) read 0");

  // QEMU's status changes with each read (the printer's ACK); INIT low resets it.
  auto status_after_reset = [&](bool write) {
    PortOut(kControl, 0x08);
    PortOut(kControl, 0x0C);
    const uint8_t first = in(kStatus);
    if (write) PortOut(kStatus, static_cast<uint8_t>(~first));
    return first << 8 | in(kStatus);
  };
  const int unwritten = status_after_reset(false), written = status_after_reset(true);
  check(written == unwritten, "a write to the status register changes nothing (" + hex(unwritten) + ")");

  check(in(891) == 0xFF && in(887) == 0xFF && in(0x300) == 0xFF,
        "addresses outside the port read 0xFF");

  PortOut(kData, 0x81);
  SetPortBit(kData, 3);
  const bool set = in(kData) == 0x89;
  ClrPortBit(kData, 0);
  const bool cleared = in(kData) == 0x88;
  NotPortBit(kData, 7);
  const bool toggled = in(kData) == 0x08;
  check(set && cleared && toggled && GetPortBit(kData, 3) == 1 && GetPortBit(kData, 2) == 0,
        "SetPortBit, ClrPortBit, NotPortBit, GetPortBit on the data register");
  PortOut(kData, 0x81);
  const int32_t right_out = RightPortShift(kData, 1);
  const bool right = in(kData) == 0xC0;
  const int32_t left_out = LeftPortShift(kData, 1);
  check(right_out == 1 && right && left_out == 1 && in(kData) == 0x81, "RightPortShift, LeftPortShift");
  PortWordOut(kStatus, 0x0500);  // status takes nothing, control 5
  const uint32_t dword = PortDWordIn(kData);
  check((dword & 0xFFFF00FFu) == 0xFF050081u && (PortWordIn(kStatus) & 0xFF00u) == 0x0500u,
        "PortWordOut, PortWordIn, PortDWordIn(888) = " + hex(dword));

  uint8_t seen = 0;
  std::thread other([&] {
    PortOut(kData, 0x3C);
    seen = in(kData);
  });
  other.join();
  check(seen == 0x3C && in(kData) == 0x3C, "a thread that did not open the port uses it");

  // Each byte latched by a STROBE pulse (with INIT and SELECT-IN set) reaches the host's file.
  PortOut(kControl, 0x0C);
  for (char c : "\n" + marker + "\n") {
    PortOut(kData, static_cast<uint8_t>(c));
    PortOut(kControl, 0x0D);
    PortOut(kControl, 0x0C);
  }
  PortOut(kControl, 0x3F);  // bits 4 and 5 must not reach the port
  PortOut(kData, 0xA5);
  check(messages.text().empty(), "the driver printed nothing");
}

// What a user sees when the port cannot be had: an idle port and one message.
void refused(const std::vector<std::string>& expected) {
  StderrCapture messages;
  const uint8_t status = in(kStatus);
  PortOut(kData, 0x99);
  const std::string text = messages.text();
  check(IsDriverInstalled() == 0 && status == 0x78 && in(kData) == 0, "reads as an idle port");
  check(open_node().empty() && !io_permitted(0x379), "holds no node and no I/O permission");
  for (const std::string& e : expected)
    check(text.find(e) != std::string::npos, "message says \"" + e + "\"");
}

int number(const char* text) { return static_cast<int>(std::strtol(text, nullptr, 0)); }

void raw_access(uint16_t port) {
  if (ioperm(port, 1, 1) != 0) {
    std::perror("probe: ioperm");
    std::exit(2);
  }
}

// --as UID:GID[:GROUP...]
void become(const std::string& ids_text) {
  std::vector<gid_t> ids;
  size_t start = 0;
  while (start <= ids_text.size()) {
    const size_t end = ids_text.find(':', start);
    ids.push_back(static_cast<gid_t>(std::stoul(ids_text.substr(start, end - start))));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  const std::vector<gid_t> groups(ids.begin() + 2, ids.end());
  if (setgroups(groups.size(), groups.data()) != 0 || setgid(ids[1]) != 0 || setuid(ids[0]) != 0) {
    std::perror("probe: becoming the user");
    std::exit(2);
  }
}

int usage() {
  std::fprintf(stderr,
               "usage: probe [--as UID:GID[:GROUP...]] COMMAND\n"
               "  exercise PATH MARKER   every check; PATH is \"raw\" or \"ppdev /dev/parportN\"\n"
               "  refused TEXT...        an idle port and a message with each TEXT\n"
               "  hold FILE              claim the port, create FILE, wait to be killed\n"
               "  out ADDRESS VALUE      PortOut only;  in ADDRESS: PortIn only, printed\n"
               "  poke PORT VALUE        raw outb;  expect PORT MASK VALUE: raw inb checked\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "--as") {
    become(args[1]);
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return usage();
  const std::string command = args[0];
  if (command == "exercise" && args.size() == 3) {
    load();
    exercise(args[1], args[2]);
  } else if (command == "refused") {
    load();
    refused(std::vector<std::string>(args.begin() + 1, args.end()));
  } else if (command == "hold" && args.size() == 2) {
    load();
    in(kStatus);
    std::ofstream(args[1]) << getpid() << "\n";
    for (;;) pause();
  } else if (command == "out" && args.size() == 3) {
    load();
    PortOut(number(args[1].c_str()), static_cast<uint8_t>(number(args[2].c_str())));
  } else if (command == "in" && args.size() == 2) {
    load();
    std::printf("%s\n", hex(in(number(args[1].c_str()))).c_str());
  } else if (command == "poke" && args.size() == 3) {
    raw_access(static_cast<uint16_t>(number(args[1].c_str())));
    outb(static_cast<uint8_t>(number(args[2].c_str())), static_cast<uint16_t>(number(args[1].c_str())));
  } else if (command == "expect" && args.size() == 4) {
    const auto port = static_cast<uint16_t>(number(args[1].c_str()));
    raw_access(port);
    const unsigned value = inb(port), mask = number(args[2].c_str()), want = number(args[3].c_str());
    check((value & mask) == want,
          "port " + hex(port) + " & " + hex(mask) + " is " + hex(want) + " (read " + hex(value) + ")");
  } else {
    return usage();
  }
  return failures == 0 ? 0 : 1;
}
