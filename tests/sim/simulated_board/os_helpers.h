// What the shared-board tests do to the system, for POSIX and for Windows: forge a
// board's segment as another program might have left it, set the environment, and
// start helper processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

int process_id();
void set_env(const char* name, const char* value);
void unset_env(const char* name);

// Makes board name's segment with exactly these bytes; false if it exists already.
// On Windows the test keeps it open (a mapping lasts while someone has it) until
// drop_segment.
bool forge_segment(const std::string& name, const std::vector<unsigned char>& bytes);
bool patch_segment(const std::string& name, std::size_t offset, const void* bytes, std::size_t size);
// The size the system gives the segment (page-rounded on Windows), or -1.
int64_t segment_size(const std::string& name);
void drop_segment(const std::string& name);

// Starts a program; wait_for gives its exit code (-1 when it could not be started).
using Process = intptr_t;
Process spawn(const std::vector<std::string>& argv);
int wait_for(Process process);
int pid_of(Process process);
// Ends it at once; wait_for still has to collect it.
void kill(Process process);
// True once path exists, false after timeout_ms.
bool wait_for_file(const std::string& path, int timeout_ms);

}  // namespace simtest
