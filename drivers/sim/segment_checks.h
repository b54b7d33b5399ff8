// What every platform's shared board checks before using a segment another process
// made, and how it words a refusal.
#pragma once

#include <cstdint>
#include <string>

#include "board_model.h"

namespace sim {

constexpr uint64_t kMagic = 0x4D49534143414C50ull;  // "PLACASIM", little-endian
constexpr uint32_t kVersion = 3;  // 2: faults and write counts in the board; 3: power-ons, the lock left it

// Why the segment cannot be used ("" when it can): never finished, foreign, another
// version or size than expected_size.
std::string header_fault(uint64_t magic, uint32_t version, uint32_t recorded_size, std::size_t expected_size);
// The same for the board state in it, read under the board's lock.
std::string state_fault(const BoardState& board);
// The board's lock was not let go within kLockWaitMs.
std::string lock_kept_too_long();
std::string wrong_size(uint64_t actual, std::size_t expected);
// "<where> <fault>; refusing it. <remedy> or choose another board with PLACASIM_BOARD."
std::string refusal(const std::string& where, const std::string& fault, const std::string& remedy);
std::string unusable_name(const std::string& name);

}  // namespace sim
