// Shared by the primitive tests: a fresh recording board and output image per test.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "board/io.h"
#include "board/placaio.h"
#include "recorder.h"

// The same tests build against both copies of the primitives; only the pause differs.
#ifndef LIFT_COPY
#error "LIFT_COPY must be 0 (library copy) or 1 (lift program copy)"
#endif
constexpr bool kLiftCopy = LIFT_COPY != 0;

class BoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(recorder_.loaded()) << "the recording io was not found beside the test";
    ESTADO_SALIDAS = 0;
    recorder_.reset();
  }

  // Starts from an output image without any traffic in the log.
  void StartFrom(int32_t image) {
    ESTADO_SALIDAS = image;
    recorder_.reset();
  }

  std::vector<PortAccess> log() const { return recorder_.log(); }
  std::vector<int32_t> data_writes() const { return recorder_.writes_to(kDataPort); }
  std::vector<int32_t> control_writes() const { return recorder_.writes_to(kControlPort); }

  Recorder recorder_;
};

// The exact traffic of output writes with the given bytes.
inline std::vector<PortAccess> OutputWrites(std::initializer_list<int32_t> bytes) {
  std::vector<PortAccess> out;
  for (int32_t b : bytes) {
    out.push_back(Out(kControlPort, 7));
    out.push_back(Out(kDataPort, b));
  }
  return out;
}

// Drops the binding, so a test can see whether an operation binds again.
inline void Unbind() {
  hio = nullptr;
  PortOut = nullptr;
  PortIn = nullptr;
}
