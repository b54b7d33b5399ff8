// Test controls of the recording port driver, beside its thirteen entry points.
#pragma once

#include <cstdint>

#ifdef _WIN32
#define RECORDING_API extern "C" __declspec(dllexport)
#else
#define RECORDING_API extern "C" __attribute__((visibility("default")))
#endif

// Kinds of logged accesses.
enum RecordedKind : int32_t {
  kByteOut = 1,
  kByteIn = 2,
  kWordOut = 3,
  kWordIn = 4,
  kDWordOut = 5,
  kDWordIn = 6,
  kBitOp = 7,
  kShift = 8,
};

// Clears the log and the scripted answers; the status register then answers 0x78
// (every input off) and the registers read back 0.
RECORDING_API void rec_reset(void);
RECORDING_API int32_t rec_count(void);
// Fills one log entry; 0 when i is outside the log.
RECORDING_API int32_t rec_entry(int32_t i, int32_t* kind, int32_t* port, int32_t* value);
// Status bytes to answer, one per read, while the control register holds `control`;
// the last one keeps being answered.
RECORDING_API void rec_script_status(int32_t control, const uint8_t* bytes, int32_t count);
// The answer for control values with no script.
RECORDING_API void rec_default_status(uint8_t status);
// How many status reads have been answered since the last reset.
RECORDING_API int32_t rec_status_reads(void);
