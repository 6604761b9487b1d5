// run_scan on Windows: quarn-scan.exe started with CreateProcessA, its two
// streams sent to temporary files that are read once it has ended (files,
// unlike pipes, never make the child wait for the test).
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "cli/scan_run.h"
#include "platform/fs.h"

namespace quarn::testing {
namespace {

// The program lies at a fixed place in the build tree relative to the test
// program; the build's own (Linux) path means nothing under Wine.
std::string scan_binary() {
  std::string own = platform::own_program_path().value_or("");
  std::string path = own.substr(0, own.find_last_of("\\/") + 1) + QUARN_SCAN_RELATIVE;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// One argument as the C run-time splits a command line: quotes around it,
// and backslashes doubled where they come before a quote.
std::string quoted(const std::string& arg) {
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

class TempFile {
 public:
  TempFile() {
    char folder[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    if (GetTempPathA(sizeof folder, folder) == 0 || GetTempFileNameA(folder, "qsr", 0, name) == 0) {
      throw std::runtime_error("cannot make a temporary file");
    }
    path_ = name;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    handle_ = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a temporary file");
  }
  ~TempFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    DeleteFileA(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  HANDLE handle() const { return handle_; }

  // The text written, with CR LF made LF.
  std::string text() {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    std::string raw = read_file(path_);
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) text += raw[i];
    }
    return text;
  }

 private:
  static std::string read_file(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot read a temporary file");
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
  }

  std::string path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

ScanRun run_scan(std::vector<std::string> args) {
  const std::string binary = scan_binary();
  std::string command = quoted(binary);
  for (const std::string& arg : args) command.append(" ").append(quoted(arg));

  TempFile out, err;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out.handle();
  startup.hStdError = err.handle();
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(binary.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    throw std::runtime_error("cannot start " + binary);
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);

  ScanRun run;
  run.status = static_cast<int>(code);
  run.out = out.text();
  run.err = err.text();
  return run;
}

}  // namespace quarn::testing
