#include "segment_checks.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "shared_board.h"

namespace sim {

namespace {

// The parts of a segment another process could have spoiled, beyond its header.
bool plausible(const BoardState& board) {
  return std::isfinite(board.position) && board.position >= kBottomFloor - 1e-9 &&
         board.position <= kTopFloor + 1e-9;
}

}  // namespace

std::string header_fault(uint64_t magic, uint32_t version, uint32_t recorded_size, std::size_t expected_size) {
  if (magic == 0) return "was never finished by the process that made it";
  if (magic != kMagic) return "is not a placasim board (foreign data)";
  if (version != kVersion || recorded_size != expected_size)
    return "was made by another version of placasim (version " + std::to_string(version) + ", " +
           std::to_string(recorded_size) + " bytes)";
  return "";
}

std::string state_fault(const BoardState& board) { return plausible(board) ? "" : "holds a corrupt board state"; }

std::string lock_kept_too_long() {
  return "has a lock that no process let go within " + std::to_string(kLockWaitMs / 1000) + " s (corrupt)";
}

std::string wrong_size(uint64_t actual, std::size_t expected) {
  return "has the wrong size (" + std::to_string(actual) + " bytes, expected " + std::to_string(expected) +
         "): not a board of this placasim";
}

std::string refusal(const std::string& where, const std::string& fault, const std::string& remedy) {
  return where + " " + fault + "; refusing it. " + remedy + " or choose another board with " + kBoardEnv + ".";
}

std::string unusable_name(const std::string& name) {
  // Shown escaped: a name may hold control characters a terminal would act on.
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
    } else {
      shown += c;
    }
  }
  return "board name \"" + shown + "\" is not usable: letters, digits, '.', '_' and '-' only";
}

std::string board_name_from_env() {
  const char* name = std::getenv(kBoardEnv);
  if (name && *name) return name;
  return default_board_name();
}

bool valid_board_name(const std::string& name) {
  if (name.empty() || name.size() > kMaxBoardName || name[0] == '.') return false;
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace sim
