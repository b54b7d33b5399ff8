// The system's serial ports through the Win32 communications API.
#include <windows.h>

#include <cstring>

#include "firmware/placaio_adaptor/protocol.h"
#include "link.h"

namespace serial {

namespace {

std::string error_text(DWORD error) {
  char text[256] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                 text, sizeof text, nullptr);
  std::string s(text, n);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.' || s.back() == ' ')) s.pop_back();
  return s.empty() ? "error " + std::to_string(error) : s;
}

class Win32Link final : public Link {
 public:
  Win32Link(HANDLE port, const DCB& original, const COMMTIMEOUTS& original_timeouts)
      : port_(port), original_(original), original_timeouts_(original_timeouts) {}
  ~Win32Link() override { CloseHandle(port_); }

  bool send(const uint8_t* data, size_t size, milliseconds timeout) override {
    if (!use_timeouts({0, 0, 0, 0, static_cast<DWORD>(timeout.count())})) return false;
    DWORD written = 0;
    if (!WriteFile(port_, data, static_cast<DWORD>(size), &written, nullptr)) return failed(GetLastError());
    if (written < size) {
      error_ = "its output stayed full for " + std::to_string(timeout.count()) + " ms";
      return false;
    }
    return true;
  }

  long receive(uint8_t* data, size_t size, milliseconds timeout) override {
    // Returns at once with what has arrived; else waits up to the constant for a byte.
    const COMMTIMEOUTS wait = timeout.count() > 0
                                  ? COMMTIMEOUTS{MAXDWORD, MAXDWORD, static_cast<DWORD>(timeout.count()), 0, 0}
                                  : COMMTIMEOUTS{MAXDWORD, 0, 0, 0, 0};
    if (!use_timeouts(wait)) return -1;
    DWORD got = 0;
    if (!ReadFile(port_, data, static_cast<DWORD>(size), &got, nullptr)) {
      failed(GetLastError());
      return -1;
    }
    return static_cast<long>(got);
  }

  void drop_input() override { PurgeComm(port_, PURGE_RXCLEAR); }

  void restore(bool keep_dtr) override {
    DCB dcb = original_;
    // Ours is off: turning it on is the edge that resets a Uno.
    if (keep_dtr) dcb.fDtrControl = DTR_CONTROL_DISABLE;
    SetCommState(port_, &dcb);
    SetCommTimeouts(port_, &original_timeouts_);
  }

  std::string error() const override { return error_; }

 private:
  bool failed(DWORD error) {
    error_ = error_text(error);
    return false;
  }
  // Reads and writes want different time-outs; each change is a call, so only then.
  bool use_timeouts(COMMTIMEOUTS t) {
    if (have_timeouts_ && std::memcmp(&t, &timeouts_, sizeof t) == 0) return true;
    if (!SetCommTimeouts(port_, &t)) return failed(GetLastError());
    timeouts_ = t;
    have_timeouts_ = true;
    return true;
  }

  const HANDLE port_;
  const DCB original_;
  COMMTIMEOUTS original_timeouts_;
  COMMTIMEOUTS timeouts_{};
  bool have_timeouts_ = false;
  std::string error_;
};

class Win32Ports final : public System {
 public:
  Opened open(const std::string& name) override {
    // The device namespace reaches COM10 and above too.
    const std::string path = name.rfind("\\\\", 0) == 0 ? name : "\\\\.\\" + name;
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return {nullptr, name + " does not exist", true};
      if (error == ERROR_ACCESS_DENIED) return {nullptr, name + " is in use by another program", false};
      return {nullptr, "cannot open " + name + " (" + error_text(error) + ")", false};
    }
    DCB original{};
    original.DCBlength = sizeof original;
    COMMTIMEOUTS original_timeouts{};
    if (!GetCommState(port, &original) || !GetCommTimeouts(port, &original_timeouts)) {
      const DWORD error = GetLastError();
      CloseHandle(port);
      return {nullptr, name + " is not a serial port (" + error_text(error) + ")", false};
    }
    DCB dcb = original;
    dcb.BaudRate = ADAPTOR_BAUD;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    // A Uno or a Nano resets when DTR goes from off to on; the system's USB serial
    // drivers leave it off at the open, so keeping it off keeps the adaptor's outputs
    // and skips its bootloader. The adaptor reads neither DTR nor RTS.
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    if (!SetCommState(port, &dcb)) {
      // Some ports have no modem lines to set (a virtual one, Wine's on a pty).
      dcb.fDtrControl = original.fDtrControl;
      dcb.fRtsControl = original.fRtsControl;
      if (!SetCommState(port, &dcb)) {
        const DWORD error = GetLastError();
        CloseHandle(port);
        return {nullptr, "cannot set up " + name + " (" + error_text(error) + ")", false};
      }
    }
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return {std::make_unique<Win32Link>(port, original, original_timeouts), {}, false};
  }

  std::optional<std::string> configured() override { return port_named_by_user(); }

  std::vector<std::string> candidates() override {
    std::vector<std::string> names;
    for (int n = 1; n <= 32; ++n) names.push_back("COM" + std::to_string(n));
    return names;
  }

  std::string candidate_pattern() override { return "COM1 to COM32"; }
  Clock::time_point now() override { return Clock::now(); }

  void warn(const std::string& line) override { warn_on_stderr(line); }
};

}  // namespace

System& system_ports() {
  static System* ports = new Win32Ports;  // outlives every caller's exit handler
  return *ports;
}

}  // namespace serial
