#include "emulated_adaptor.h"

#include <avr_extint.h>
#include <avr_ioport.h>
#include <avr_uart.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sim_avr.h>
#include <sim_io.h>
#include <sim_regbit.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>

#include "firmware_file.h"
#include "placaio_adaptor/pins.h"
#include "placaio_adaptor/protocol.h"

namespace placasim {

namespace {

constexpr const char* kChip = "atmega328p";
constexpr uint32_t kClockHz = 16000000;
constexpr int64_t kNanosPerSecond = 1000000000;
// How often the pseudo-terminal is looked at and the chip held to the wall clock: a
// byte from the host waits at most this long (50 µs), and the chip sleeps as often.
constexpr avr_cycle_count_t kTickCycles = kClockHz / 20000;
constexpr avr_cycle_count_t kQuietTickCycles = kClockHz / 1000;
constexpr avr_cycle_count_t kQuietCycles = kClockHz / 50;  // 20 ms
// A register spread over two ports takes two instructions to write; the board gets
// it once both are done (2 µs, a fraction of a byte's 10 µs on the wire).
constexpr avr_cycle_count_t kSettleCycles = 32;
// Further behind the wall clock than this (the machine was busy), the chip does not
// race to make up for it.
constexpr int64_t kMostLagNs = 20000000;
constexpr int64_t kMostAheadNs = 2000000;
constexpr int kHaltedPollMs = 1;
// The reset flags' register, should the core not name it.
constexpr uint16_t kMcusr = 0x54;
constexpr uint8_t kPowerOnFlag = 0x01, kExternalFlag = 0x02;

// One signal of the pin table.
struct Wire {
  int reg, bit;
  int port;  // 0, 1, 2: ports B, C, D
  int port_bit;
  bool inverted;
};
constexpr Wire kWires[] = {
#define WIRE(reg, bit, apin, port, pbit, db25, inv, name) {ADAPTOR_REG_##reg, bit, #port[0] - 'B', pbit, (inv) != 0},
    ADAPTOR_PINS(WIRE)
#undef WIRE
};
constexpr char kPortNames[] = {'B', 'C', 'D'};
constexpr int kPorts = 3;
constexpr int kData = 0, kControl = 1;  // the output registers, in that order
constexpr int kOffsets[] = {ADAPTOR_REG_DATA, ADAPTOR_REG_CONTROL};

constexpr bool port_carries(int port, bool inputs) {
  for (const Wire& w : kWires)
    if (w.port == port && (w.reg == ADAPTOR_REG_STATUS) == inputs) return true;
  return false;
}

int64_t now_ns() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * kNanosPerSecond + t.tv_nsec;
}

timespec to_timespec(int64_t ns) {
  return {static_cast<time_t>(ns / kNanosPerSecond), static_cast<long>(ns % kNanosPerSecond)};
}

// simavr's own messages go to standard output, where placasim's trace may be.
void log_errors(avr_t*, const int level, const char* format, va_list ap) {
  if (level > LOG_ERROR) return;
  std::fputs("placasim: the emulated chip: ", stderr);
  std::vfprintf(stderr, format, ap);
}

// The chip's sleep is spent in the tick, against the wall clock.
void no_sleep(avr_t*, avr_cycle_count_t) {}

class Chip final : public EmulatedAdaptor {
 public:
  Chip(avr_t* avr, AdaptorWiring& wiring) : avr_(avr), wiring_(wiring) {}

  ~Chip() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) close(master_);
    if (opens_watch_ >= 0) close(opens_watch_);
    avr_terminate(avr_);
    std::free(avr_);
  }

  bool power_on(std::string* error) {
    avr_->frequency = kClockHz;
    avr_->sleep = no_sleep;
    quiet_simavr();
    for (int i = 0; i < kPorts; ++i) {
      hooks_[i] = {this, i};
      ports_[i] = find_port(kPortNames[i]);
      if (!ports_[i]) {
        *error = std::string("the emulated chip has no port ") + kPortNames[i];
        return false;
      }
      for (int irq : {IOPORT_IRQ_REG_PORT, IOPORT_IRQ_DIRECTION_ALL})
        avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_IOPORT_GETIRQ(kPortNames[i]), irq), port_written,
                                &hooks_[i]);
      avr_irq_register_notify(avr_iomem_getirq(avr_, ports_[i]->r_ddr, nullptr, AVR_IOMEM_IRQ_ALL), port_written,
                              &hooks_[i]);
      if (port_carries(i, true)) {
        // simavr's own handler of the input register stays; ours runs first.
        auto& read = avr_->io[AVR_DATA_TO_IO(ports_[i]->r_pin)].r;
        pin_reads_[i] = {read.c, read.param};
        read.c = pins_read;
        read.param = &hooks_[i];
      }
      snapshot(i);
    }
    uart_input_ = avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
    avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT), uart_sent, this);
    avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XON), uart_xon, this);
    avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XOFF), uart_xoff, this);
    if (!uart_input_ || !follow_uart_settings()) {
      *error = "the emulated chip has no serial port";
      return false;
    }
    // A chip's memory holds anything at power-on; only a reset keeps it.
    std::random_device seed;
    std::mt19937 random(seed());
    for (uint32_t a = 0; a <= uint32_t{avr_->ramend}; ++a)
      if (a < 0x20 || a > uint32_t{avr_->ioend}) avr_->data[a] = static_cast<uint8_t>(random());
    set_reset_flags(kPowerOnFlag);
    return open_pty(error);
  }

  void run_thread() { thread_ = std::thread([this] { run(); }); }

  const std::string& port() const override { return port_; }

  int pin(int arduino_pin) const override {
    if (arduino_pin < 0 || arduino_pin > 19) return -1;
    // Arduino pins 0..7 are port D, 8..13 port B, 14..19 (A0..A5) port C.
    const int port = arduino_pin < 8 ? 2 : arduino_pin < 14 ? 0 : 1;
    const int bit = arduino_pin < 8 ? arduino_pin : arduino_pin < 14 ? arduino_pin - 8 : arduino_pin - 14;
    const uint16_t s = state_[port].load();
    if (!(s >> 8 & 1u << bit)) return -1;
    return s >> bit & 1;
  }

  int resets() const override { return resets_.load(); }

 private:
  struct Hook {
    Chip* chip;
    int port;
  };
  struct Read {
    avr_io_read_t c;
    void* param;
  };
  struct Write {
    Chip* chip;
    avr_io_write_t c;
    void* param;
  };

  avr_ioport_t* find_port(char name) {
    for (avr_io_t* io = avr_->io_port; io; io = io->next)
      if (io->irq_ioctl_get == static_cast<uint32_t>(AVR_IOCTL_IOPORT_GETIRQ(name)))
        return reinterpret_cast<avr_ioport_t*>(io);
    return nullptr;
  }

  // Off, at power-on and after each reset: lines from the UART to simavr's console;
  // its 1 µs naps while the firmware waits for a byte (the simulation crawled); and
  // its look at INT0 and INT1 at every cycle while their pins (data bits 0 and 1) are
  // low, for a level-triggered interrupt enabled or not (the chip fell to a quarter of
  // real time). The firmware uses neither interrupt.
  void quiet_simavr() {
    uint32_t flags = 0;
    avr_ioctl(avr_, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~uint32_t{AVR_UART_FLAG_POLL_SLEEP | AVR_UART_FLAG_STDIO};
    avr_ioctl(avr_, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    for (uint8_t interrupt : {0, 1}) avr_extint_set_strict_lvl_trig(avr_, interrupt, 0);
  }

  // simavr works the UART's speed out only when UBRR0 is written, from U2X0 and the
  // frame format as they are then; the chip follows them whenever they change. A
  // firmware that sets UBRR0 first ran at half its speed. So a change to either has
  // simavr work the speed out again.
  bool follow_uart_settings() {
    const avr_uart_t* uart = nullptr;
    for (avr_io_t* io = avr_->io_port; io && !uart; io = io->next)
      if (io->irq_ioctl_get == static_cast<uint32_t>(AVR_IOCTL_UART_GETIRQ('0')))
        uart = reinterpret_cast<const avr_uart_t*>(io);
    if (!uart || !uart->ubrrl.reg) return false;
    ubrr_low_ = uart->ubrrl.reg;
    const avr_io_addr_t settings[] = {uart->r_ucsra, uart->r_ucsrc};
    for (int i = 0; i < 2; ++i) {
      auto& write = avr_->io[AVR_DATA_TO_IO(settings[i])].w;
      uart_writes_[i] = {this, write.c, write.param};
      write.c = uart_setting_written;
      write.param = &uart_writes_[i];
    }
    return true;
  }

  static void uart_setting_written(avr_t* avr, avr_io_addr_t addr, uint8_t value, void* param) {
    const Write* original = static_cast<Write*>(param);
    if (original->c)
      original->c(avr, addr, value, original->param);
    else
      avr->data[addr] = value;
    const avr_io_addr_t ubrr = original->chip->ubrr_low_;
    const auto& speed = avr->io[AVR_DATA_TO_IO(ubrr)].w;
    if (speed.c) speed.c(avr, ubrr, avr->data[ubrr], speed.param);
  }

  uint8_t* reset_flags() {
    const uint16_t reg = avr_->reset_flags.porf.reg ? avr_->reset_flags.porf.reg : kMcusr;
    return &avr_->data[reg];
  }
  void set_reset_flags(uint8_t flags) { *reset_flags() = flags; }

  bool open_pty(std::string* error) {
    termios raw{};
    cfmakeraw(&raw);
    cfsetspeed(&raw, B1000000);
    int slave = -1;
    if (openpty(&master_, &slave, nullptr, &raw, nullptr) != 0) {
      *error = std::string("cannot make the adaptor's serial port (a pseudo-terminal): ") + std::strerror(errno);
      return false;
    }
    char name[128] = {};
    const bool named = ttyname_r(slave, name, sizeof name) == 0;
    // Closed here, so that the master sees a hang-up until a program opens the port.
    close(slave);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (!named) {
      *error = "the adaptor's serial port has no name";
      return false;
    }
    port_ = name;
    // Every open, however soon after a close: polling the hang-up alone misses those.
    opens_watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (opens_watch_ >= 0 && inotify_add_watch(opens_watch_, name, IN_OPEN | IN_CLOSE) < 0) {
      close(opens_watch_);
      opens_watch_ = -1;
    }
    return true;
  }

  // Whether a program opened the port while no other had it open (a Uno's DTR goes
  // up then), since last asked.
  bool port_opened(short revents) {
    const bool was_open = slave_open_;
    slave_open_ = !(revents & POLLHUP);
    if (opens_watch_ < 0) return slave_open_ && !was_open;
    bool opened = false;
    if (!opens_seen_) return false;
    alignas(inotify_event) char events[4096];
    ssize_t n;
    while ((n = read(opens_watch_, events, sizeof events)) > 0) {
      for (char* at = events; at < events + n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(at);
        if (e->mask & IN_OPEN) opened |= openers_++ == 0;
        if ((e->mask & IN_CLOSE) && openers_ > 0) --openers_;
        at += sizeof(inotify_event) + e->len;
      }
    }
    return opened;
  }

  // Bytes sent before the chip is reset are lost with the reset.
  void discard_input() {
    uint8_t lost[256];
    while (read(master_, lost, sizeof lost) > 0) {
    }
    received_ = taken_ = 0;
  }

  void run() {
    prctl(PR_SET_TIMERSLACK, 1UL);  // its sleeps are tens of microseconds
    restart_clock();
    avr_cycle_timer_register(avr_, kTickCycles, tick, this);
    while (!stop_.load(std::memory_order_relaxed)) {
      if (reset_requested_) reset();
      const int state = avr_run(avr_);
      if (state == cpu_Done || state == cpu_Crashed) halted(state);
    }
    flush();
  }

  void restart_clock() {
    base_ns_ = now_ns();
    base_cycle_ = avr_->cycle;
  }

  // What a Uno's DTR does: the chip starts afresh, its memory as it was.
  void reset() {
    flush();
    const uint8_t flags = *reset_flags();
    avr_reset(avr_);
    set_reset_flags(flags | kExternalFlag);
    quiet_simavr();
    avr_cycle_timer_register(avr_, kTickCycles, tick, this);  // the reset drops every timer
    armed_ = false;
    xoff_ = false;
    for (int i = 0; i < kPorts; ++i) snapshot(i);
    restart_clock();
    last_input_ = avr_->cycle;
    reset_requested_ = false;
    ++resets_;
  }

  // A crashed firmware, or one asleep with interrupts off, stays so until the port
  // is opened again; what the host sends meanwhile is lost.
  void halted(int state) {
    std::fprintf(stderr, "placasim: the adaptor's firmware %s at address 0x%04x; opening its port resets it\n",
                 state == cpu_Crashed ? "crashed" : "went to sleep for good", static_cast<unsigned>(avr_->pc));
    flush();
    while (!stop_.load()) {
      // A closed port is always "ready" (hung up): the wait is on the watch of opens.
      pollfd watch{opens_watch_, POLLIN, 0};
      if (opens_watch_ >= 0)
        poll(&watch, 1, kHaltedPollMs);
      else
        usleep(kHaltedPollMs * 1000);
      pollfd p{master_, POLLIN, 0};
      poll(&p, 1, 0);
      opens_seen_ = true;
      const bool opened = port_opened(p.revents);
      if (slave_open_) discard_input();
      if (opened) {
        reset();
        return;
      }
    }
  }

  static avr_cycle_count_t tick(avr_t*, avr_cycle_count_t when, void* param) {
    auto* chip = static_cast<Chip*>(param);
    chip->tick();
    // Nothing said on the port for a while: the tick's wait wakes on the first byte
    // anyway, and a millisecond is soon enough to notice an open.
    const bool quiet = chip->avr_->cycle - chip->last_input_ > kQuietCycles;
    return when + (quiet ? kQuietTickCycles : kTickCycles);
  }

  void tick() {
    const short revents = wait_for_wall_clock();
    if (port_opened(revents)) {
      // The chip resets before it sees any byte; those sent so far are lost.
      discard_input();
      reset_requested_ = true;
      return;
    }
    // What a program sent just before it closed the port still reaches the chip, as
    // it reaches a Uno: placa salida writes and exits at once.
    if (taken_ == received_ && (revents & POLLIN)) {
      const ssize_t n = read(master_, input_, sizeof input_);
      if (n > 0) {
        received_ = static_cast<std::size_t>(n);
        taken_ = 0;
        last_input_ = avr_->cycle;
      }
    }
    feed();
  }

  // Sleeps until the wall clock reaches the chip's time, waking early when the host
  // sends something, so that a request waits less than a tick; then says what the
  // port shows (and whether the port was opened or closed since).
  short wait_for_wall_clock() {
    const int64_t chip_ns =
        static_cast<int64_t>((avr_->cycle - base_cycle_) * (kNanosPerSecond / 1000) / (kClockHz / 1000));
    int64_t ahead = chip_ns - (now_ns() - base_ns_);
    if (-ahead > kMostLagNs) base_ns_ = now_ns() - chip_ns;
    timespec wait{};
    if (ahead > kMostAheadNs) {
      // Woken early by the host tick after tick, the chip would run ahead of the clock.
      const timespec until = to_timespec(base_ns_ + chip_ns - kMostAheadNs);
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
      ahead = kMostAheadNs;
    }
    if (ahead > 0) {
      // A closed port is always "ready" (hung up), and bytes still to feed need no more.
      if (slave_open_ && taken_ == received_) {
        wait = to_timespec(ahead);
      } else {
        const timespec until = to_timespec(base_ns_ + chip_ns);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
      }
    }
    pollfd p[2] = {{master_, POLLIN, 0}, {opens_watch_, POLLIN, 0}};
    ppoll(p, opens_watch_ >= 0 ? 2 : 1, &wait, nullptr);
    opens_seen_ = (p[1].revents & POLLIN) != 0;
    return p[0].revents;
  }

  void feed() {
    while (!xoff_ && taken_ < received_) avr_raise_irq(uart_input_, input_[taken_++]);
  }

  static void uart_sent(avr_irq_t*, uint32_t value, void* param) {
    auto* chip = static_cast<Chip*>(param);
    // Nobody has the port open: the byte goes nowhere, as from a Uno's USB chip.
    if (!chip->slave_open_) return;
    const uint8_t byte = static_cast<uint8_t>(value);
    if (write(chip->master_, &byte, 1) != 1) ++chip->lost_;
  }
  static void uart_xon(avr_irq_t*, uint32_t, void* param) {
    auto* chip = static_cast<Chip*>(param);
    chip->xoff_ = false;
    chip->feed();
  }
  static void uart_xoff(avr_irq_t*, uint32_t, void* param) { static_cast<Chip*>(param)->xoff_ = true; }

  void snapshot(int port) {
    const avr_ioport_t* p = ports_[port];
    state_[port] = static_cast<uint16_t>(avr_->data[p->r_ddr] << 8 | avr_->data[p->r_port]);
  }

  static void port_written(avr_irq_t*, uint32_t, void* param) {
    const Hook* hook = static_cast<Hook*>(param);
    hook->chip->snapshot(hook->port);
    if (port_carries(hook->port, false)) hook->chip->note_outputs();
  }

  // The level the chip gives a pin: driven, pulled up, or -1 left open.
  int level(int port, int bit) const {
    const avr_ioport_t* p = ports_[port];
    if (avr_->data[p->r_ddr] & 1u << bit) return avr_->data[p->r_port] >> bit & 1;
    return avr_->data[p->r_port] & 1u << bit ? 1 : -1;
  }

  // The output registers as the pins show them; an open pin leaves its bit as the
  // board last saw it (the emulation does not guess what an open line reads as).
  std::array<uint8_t, 2> registers() const {
    std::array<uint8_t, 2> r = shown_;
    for (const Wire& w : kWires) {
      if (w.reg == ADAPTOR_REG_STATUS) continue;
      const int l = level(w.port, w.port_bit);
      if (l < 0) continue;
      uint8_t& v = r[w.reg == ADAPTOR_REG_DATA ? kData : kControl];
      if ((l != 0) != w.inverted)
        v = static_cast<uint8_t>(v | 1u << w.bit);
      else
        v = static_cast<uint8_t>(v & ~(1u << w.bit));
    }
    return r;
  }

  // Changes are passed on together a little later, in the order they began.
  void note_outputs() {
    const std::array<uint8_t, 2> now = registers();
    for (int r : {kData, kControl})
      if (now[r] != shown_[r] && !pending_[r]) {
        pending_[r] = true;
        order_[changes_++] = r;
      }
    if (changes_ && !armed_) {
      avr_cycle_timer_register(avr_, kSettleCycles, settled, this);
      armed_ = true;
    }
  }

  static avr_cycle_count_t settled(avr_t*, avr_cycle_count_t, void* param) {
    auto* chip = static_cast<Chip*>(param);
    chip->armed_ = false;
    chip->flush();
    return 0;
  }

  void flush() {
    if (armed_) {
      avr_cycle_timer_cancel(avr_, settled, this);
      armed_ = false;
    }
    if (!changes_) return;
    const std::array<uint8_t, 2> now = registers();
    for (int i = 0; i < changes_; ++i) {
      const int r = order_[i];
      pending_[r] = false;
      if (now[r] == shown_[r]) continue;
      shown_[r] = now[r];
      wiring_.write(kOffsets[r], now[r]);
    }
    changes_ = 0;
  }

  // The firmware reads its inputs: the board's outputs settle first, then its status
  // lines are put on the pins at the levels a PC's port would read them from.
  static uint8_t pins_read(avr_t* avr, avr_io_addr_t addr, void* param) {
    const Hook* hook = static_cast<Hook*>(param);
    Chip* chip = hook->chip;
    chip->flush();
    chip->drive_inputs(hook->port);
    const Read& original = chip->pin_reads_[hook->port];
    return original.c ? original.c(avr, addr, original.param) : avr->data[addr];
  }

  void drive_inputs(int port) {
    const uint8_t status = wiring_.status(), open = wiring_.open_lines();
    uint8_t& pins = avr_->data[ports_[port]->r_pin];
    for (const Wire& w : kWires) {
      if (w.reg != ADAPTOR_REG_STATUS || w.port != port) continue;
      bool high;
      if (open & 1u << w.bit)
        high = level(port, w.port_bit) == 1;  // its pull-up, or nothing
      else
        high = ((status >> w.bit & 1) != 0) != w.inverted;
      pins = static_cast<uint8_t>(high ? pins | 1u << w.port_bit : pins & ~(1u << w.port_bit));
    }
  }

  avr_t* avr_;
  AdaptorWiring& wiring_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> resets_{0};
  std::string port_;
  int master_ = -1;
  int opens_watch_ = -1;  // inotify on the port's name
  int openers_ = 0;
  bool opens_seen_ = true;  // events may wait on the watch
  avr_cycle_count_t last_input_ = 0;

  // The emulation thread's own.
  avr_ioport_t* ports_[kPorts] = {};
  Hook hooks_[kPorts] = {};
  Read pin_reads_[kPorts] = {};
  std::atomic<uint16_t> state_[kPorts] = {};  // DDR << 8 | PORT, for pin()
  std::array<uint8_t, 2> shown_ = {ADAPTOR_REST_DATA, ADAPTOR_REST_CONTROL};
  bool pending_[2] = {};
  int order_[2] = {};
  int changes_ = 0;
  bool armed_ = false;
  avr_irq_t* uart_input_ = nullptr;
  Write uart_writes_[2] = {};
  avr_io_addr_t ubrr_low_ = 0;
  uint8_t input_[256] = {};
  std::size_t received_ = 0, taken_ = 0;
  bool xoff_ = false;
  bool slave_open_ = false;
  bool reset_requested_ = false;
  uint64_t lost_ = 0;
  int64_t base_ns_ = 0;
  avr_cycle_count_t base_cycle_ = 0;
};

}  // namespace

std::unique_ptr<EmulatedAdaptor> EmulatedAdaptor::start(const std::string& firmware, AdaptorWiring& wiring,
                                                        std::string* error) {
  static std::once_flag logger;
  std::call_once(logger, [] { avr_global_logger_set(log_errors); });
  avr_t* avr = avr_make_mcu_by_name(kChip);
  if (!avr || avr_init(avr) != 0) {
    std::free(avr);
    *error = "this simavr cannot emulate the ATmega328P";
    return nullptr;
  }
  auto chip = std::make_unique<Chip>(avr, wiring);
  if (!load_firmware(avr, firmware, error) || !chip->power_on(error)) return nullptr;
  chip->run_thread();
  return chip;
}

}  // namespace placasim
