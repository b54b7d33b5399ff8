// The program's entry point on POSIX: hands over to WinMain as Windows would.
#include <string>

#include "win32_user.h"

namespace {

// Stands in for the program's module handle: any address unique to the program.
char program_image;

// Rebuilds the command line after the program's name, quoting as Windows expects.
std::string command_line(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!line.empty()) line += ' ';
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
      line += arg;
      continue;
    }
    line += '"';
    size_t backslashes = 0;
    for (char c : arg) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      // Backslashes before a quote are doubled, then the quote escaped.
      line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  std::string line = command_line(argc, argv);
  return WinMain(reinterpret_cast<HINSTANCE>(&program_image), nullptr, line.data(),
                 SW_SHOWDEFAULT);
}
