#include "adaptor.h"

#include <algorithm>
#include <cstring>

#include "firmware/placaio_adaptor/protocol.h"

namespace serial {

namespace {

constexpr const char* kPrefix = "io (serial adaptor): ";
// A byte on the wire: start bit, eight bits, stop bit.
constexpr auto kByteTime = std::chrono::nanoseconds(10 * 1000000000LL / ADAPTOR_BAUD);
constexpr const char* kIdleNote =
    "; its registers read as an idle port until the adaptor answers, looked for every second";

enum class Verdict { kPending, kRight, kWrong, kOtherVersion };

// Judged byte by byte, so a port talking about something else is dropped at once.
Verdict judge(const std::vector<uint8_t>& answer) {
  const size_t signature = std::min<size_t>(answer.size(), ADAPTOR_SIGNATURE_LENGTH);
  if (std::memcmp(answer.data(), ADAPTOR_SIGNATURE, signature) != 0) return Verdict::kWrong;
  if (answer.size() > ADAPTOR_SIGNATURE_LENGTH && answer[ADAPTOR_SIGNATURE_LENGTH] != ADAPTOR_PROTOCOL_VERSION)
    return Verdict::kOtherVersion;
  if (answer.size() > ADAPTOR_SIGNATURE_LENGTH + 1 && answer[ADAPTOR_SIGNATURE_LENGTH + 1] != ADAPTOR_SIGNAL_COUNT)
    return Verdict::kWrong;
  return answer.size() < ADAPTOR_IDENTITY_LENGTH ? Verdict::kPending : Verdict::kRight;
}

milliseconds left(Clock::time_point now, Clock::time_point until) {
  return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(until - now));
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
  return text;
}

}  // namespace

struct Adaptor::Probe {
  std::string name;
  std::unique_ptr<Link> link;
  std::vector<uint8_t> answer;
};

Adaptor::Adaptor(System& system, Timing timing) : system_(system), timing_(timing) {}

std::vector<std::string> Adaptor::ports_to_try() {
  if (std::optional<std::string> named = system_.configured()) return {*named};
  std::vector<std::string> names = system_.candidates();
  // The port that was the adaptor's comes first: it is most likely to be again.
  const auto last = std::find(names.begin(), names.end(), port_);
  if (last != names.end()) std::rotate(names.begin(), last, last + 1);
  return names;
}

void Adaptor::connect() {
  const bool first = !next_attempt_;
  const bool named = system_.configured().has_value();
  std::vector<std::string> reasons;
  std::vector<Probe> probes;
  for (const std::string& name : ports_to_try()) {
    Opened opened = system_.open(name);
    if (opened.link)
      probes.push_back({name, std::move(opened.link), {}});
    else if (named || !opened.absent)
      reasons.push_back(opened.error);
  }

  // Only the identify request goes to a port until it has answered as the adaptor.
  const uint8_t identify = ADAPTOR_IDENTIFY;
  const Clock::time_point deadline = system_.now() + (first ? timing_.boot_window : milliseconds(0));
  std::optional<Probe> found;
  auto drop = [&](size_t i, const std::string& reason, bool keep_dtr) {
    reasons.push_back(reason);
    probes[i].link->restore(keep_dtr);
    probes.erase(probes.begin() + static_cast<long>(i));
  };
  while (!probes.empty() && !found) {
    const Clock::time_point round = system_.now();
    for (size_t i = 0; i < probes.size();) {
      probes[i].link->drop_input();
      probes[i].answer.clear();
      if (probes[i].link->send(&identify, 1, timing_.identify_timeout))
        ++i;
      else
        drop(i, probes[i].name + " failed (" + probes[i].link->error() + ")", false);
    }
    for (size_t i = 0; i < probes.size() && !found;) {
      Probe& p = probes[i];
      Verdict verdict = Verdict::kPending;
      while (verdict == Verdict::kPending) {
        uint8_t bytes[ADAPTOR_IDENTITY_LENGTH];
        const long n = p.link->receive(bytes, ADAPTOR_IDENTITY_LENGTH - p.answer.size(),
                                       left(system_.now(), round + timing_.identify_timeout));
        if (n <= 0) break;
        p.answer.insert(p.answer.end(), bytes, bytes + n);
        verdict = judge(p.answer);
      }
      if (verdict == Verdict::kRight) {
        found = std::move(p);
      } else if (verdict == Verdict::kWrong) {
        drop(i, p.name + " answered as something other than the adaptor, and was left alone", false);
      } else if (verdict == Verdict::kOtherVersion) {
        drop(i, "the adaptor on " + p.name + " speaks protocol version " +
                    std::to_string(p.answer[ADAPTOR_SIGNATURE_LENGTH]) + ", this driver version " +
                    std::to_string(ADAPTOR_PROTOCOL_VERSION) +
                    ": load the firmware that comes with this driver into it",
             true);
      } else {
        ++i;
      }
    }
    if (system_.now() >= deadline) break;
  }
  for (Probe& p : probes) {
    if (found && p.link == nullptr) continue;  // moved out
    if (!found) reasons.push_back(p.name + " did not answer");
    p.link->restore(true);
  }
  probes.clear();

  if (found) {
    link_ = std::move(found->link);
    unconfirmed_ = 0;
    port_ = found->name;
    for (int reg = 0; reg < ADAPTOR_REGISTERS; ++reg)
      if (written_[reg]) {
        out_.push_back(static_cast<uint8_t>(ADAPTOR_WRITE_COMMAND(reg, *written_[reg])));
        out_.push_back(static_cast<uint8_t>(ADAPTOR_WRITE_PAYLOAD(*written_[reg])));
      }
    if (reported_) system_.warn(kPrefix + std::string("the adaptor answers on ") + port_);
    reported_ = false;
  } else if (!reported_) {
    if (reasons.empty()) reasons.push_back("there is no " + system_.candidate_pattern());
    system_.warn(kPrefix + std::string("no adaptor found: ") + joined(reasons) +
                 (named ? "" : " (PLACAIO_SERIAL names its port)") + kIdleNote);
    reported_ = true;
  }
  next_attempt_ = system_.now() + timing_.retry_interval;
}

bool Adaptor::connected() {
  if (link_) return true;
  if (next_attempt_ && system_.now() < *next_attempt_) return false;
  connect();
  return link_ != nullptr;
}

void Adaptor::lose(const std::string& why) {
  link_.reset();
  out_.clear();
  unconfirmed_ = 0;
  system_.warn(kPrefix + std::string("lost the adaptor on ") + port_ + " (" + why + ")" + kIdleNote);
  reported_ = true;
  next_attempt_ = system_.now() + timing_.retry_interval;
}

bool Adaptor::send_out() {
  // Past the limit, the adaptor first answers for what it was sent.
  if (unconfirmed_ > 0 && unconfirmed_ + out_.size() > timing_.most_unconfirmed && !confirm()) return false;
  const bool sent = link_->send(out_.data(), out_.size(), timing_.read_timeout);
  unconfirmed_ += out_.size();
  out_.clear();
  if (!sent) lose(link_->error());
  return sent;
}

bool Adaptor::confirm() {
  const uint8_t request = ADAPTOR_READ | ADAPTOR_REG_DATA;
  link_->drop_input();
  if (!link_->send(&request, 1, timing_.read_timeout)) {
    lose(link_->error());
    return false;
  }
  ++unconfirmed_;
  uint8_t ignored = 0;
  return receive_answer(&ignored);
}

bool Adaptor::receive_answer(uint8_t* value) {
  // The answer comes once everything sent before it has crossed the wire.
  const auto queued = std::chrono::ceil<milliseconds>(kByteTime * static_cast<int64_t>(unconfirmed_));
  const long n = link_->receive(value, 1, timing_.read_timeout + queued);
  if (n == 1) {
    unconfirmed_ = 0;
    return true;
  }
  lose(n < 0 ? link_->error()
             : "no answer to a read within " + std::to_string(timing_.read_timeout.count()) + " ms");
  return false;
}

void Adaptor::flush() {
  if (!out_.empty() && link_) send_out();
  out_.clear();
}

uint8_t Adaptor::read_locked(int64_t address) {
  if (address < kFirstPortBase || address >= kFirstPortBase + ADAPTOR_REGISTERS) return kNoPortRead;
  const int reg = static_cast<int>(address - kFirstPortBase);
  const uint8_t idle = reg == ADAPTOR_REG_STATUS ? kIdleStatus : kIdleRegister;
  if (!connected()) return idle;
  // Anything already there was not asked for: a late answer, or noise.
  link_->drop_input();
  out_.push_back(static_cast<uint8_t>(ADAPTOR_READ | reg));
  uint8_t value = 0;
  return send_out() && receive_answer(&value) ? value : idle;
}

void Adaptor::write_locked(int64_t address, uint8_t value) {
  if (address < kFirstPortBase || address >= kFirstPortBase + ADAPTOR_REGISTERS) return;
  const int reg = static_cast<int>(address - kFirstPortBase);
  if (reg == ADAPTOR_REG_STATUS) return;  // read-only, as on a PC
  const bool live = connected();  // first, or an adaptor found now would get it twice
  written_[reg] = value;
  if (!live) return;
  out_.push_back(static_cast<uint8_t>(ADAPTOR_WRITE_COMMAND(reg, value)));
  out_.push_back(static_cast<uint8_t>(ADAPTOR_WRITE_PAYLOAD(value)));
}

bool Adaptor::installed() {
  std::lock_guard<std::mutex> guard(lock_);
  const bool answers = connected();
  flush();  // what a reconnection puts back
  return answers && link_ != nullptr;
}

std::string Adaptor::port() {
  std::lock_guard<std::mutex> guard(lock_);
  return link_ ? port_ : std::string();
}

}  // namespace serial
