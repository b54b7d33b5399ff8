// A "run" step of an end-to-end script under Wine: starts the step's Unix side (the
// bridge) and waits for it. Wine starts a Unix program without a process to wait for
// ("start /wait /unix" returns at once), so the bridge writes the step's exit code to a
// file in $E2E_STEPS named here, and this waits for that file and returns the code.
//   wine_step.exe BRIDGE WORD...
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kStepLimitMs = 120000;  // window.sh gives up on a window long before
constexpr DWORD kPollMs = 10;

// start.exe takes its own quotes off before it joins the words for the Unix side;
// escaped ones reach the bridge, which splits the words again.
std::string quoted(const std::string& word) {
  return word.find(' ') == std::string::npos ? word : "\\\"" + word + "\\\"";
}

// Z: is the Unix root in every Wine prefix.
std::string windows_path(std::string unix_path) {
  for (char& c : unix_path) if (c == '/') c = '\\';
  return "Z:" + unix_path;
}

}  // namespace

int main(int argc, char** argv) {
  const char* steps = std::getenv("E2E_STEPS");
  if (argc < 2 || steps == nullptr) {
    std::fprintf(stderr, "usage: E2E_STEPS=DIR wine_step BRIDGE WORD...\n");
    return 2;
  }
  const std::string code_file = std::string(steps) + "/" + std::to_string(GetCurrentProcessId());
  std::string command = "start.exe /unix " + quoted(argv[1]) + " " + code_file;
  for (int i = 2; i < argc; ++i) command += " " + quoted(argv[i]);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "wine_step: cannot start %s (error %lu)\n", command.c_str(), GetLastError());
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  const std::string code_path = windows_path(code_file);
  for (DWORD waited = 0; waited < kStepLimitMs; waited += kPollMs) {
    if (FILE* f = std::fopen(code_path.c_str(), "r")) {
      int code = 1;
      if (std::fscanf(f, "%d", &code) != 1) code = 1;
      std::fclose(f);
      DeleteFileA(code_path.c_str());
      return code;
    }
    Sleep(kPollMs);
  }
  std::fprintf(stderr, "wine_step: %s did not end within %lu s\n", argv[1], kStepLimitMs / 1000);
  return 1;
}
