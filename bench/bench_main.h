// What each benchmark program supplies to the shared main.
#pragma once

namespace bench {

class Driver;

const char* program_name();
// Registers the program's benchmarks against the driver the run was given.
void register_benchmarks(Driver& driver);
// Runs after the benchmarks, before the driver is released.
void finish();

}  // namespace bench
