// Scanners and handlers that record what the engine does to them.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "remedies/handlers.h"
#include "scan/virus_scanner.h"

namespace quarn::testing {

struct Result {
  std::string path;
  ScanStatus status;
};

class RecordingScanner : public CVirusScanner {
 public:
  explicit RecordingScanner(const std::optional<std::string>& log = std::nullopt) : CVirusScanner(remedies::make_handlers, nullptr, log) {}
  ~RecordingScanner() override { StopAndWaitForever(); }

  void OnFileResult(const char* pszPath, ScanStatus status) override {
    std::lock_guard lock(mutex_);
    results_.push_back({pszPath, status});
    handlers_during_run_ = m_setHandlers.size();
    keys_during_run_ = m_mapExtensions.size();
  }

  std::vector<Result> results() {
    std::lock_guard lock(mutex_);
    return results_;
  }

  void scan(const std::string& start) {
    m_strStartPath.set(start);
    ASSERT_TRUE(Start());
    wait_idle();
  }
  void wait_idle() { WaitForIdle(PollOrder::look_first, kWithoutLimit); }

  std::size_t handlers_during_run_ = 0;
  std::size_t keys_during_run_ = 0;

 private:
  std::mutex mutex_;
  std::vector<Result> results_;
};

// A handler whose remedy only reports a fixed status and records its calls.
class ScriptedHandler : public CVirusHandler {
 public:
  ScriptedHandler(const char* extensions, const char* signature, ScanStatus result, bool always = false)
      : CVirusHandler("test", extensions, always), result_(result) {
    m_pszSignature = signature;
  }
  ScanStatus Clean(const platform::FileAt& file) override {
    calls.push_back(file.path);
    return result_;
  }
  std::vector<std::string> calls;

 private:
  ScanStatus result_;
};

inline void use_handlers(CVirusScanner& scanner, const HandlerSet& handlers) {
  scanner.m_mapExtensions = CVirusScanner::BuildExtensionMap(handlers);
}

// Blocks the worker inside its first result until the test has asked it to
// stop; the walk must then end at the next fetched entry of every level.
class PausingScanner : public RecordingScanner {
 public:
  void OnFileResult(const char* pszPath, ScanStatus status) override {
    RecordingScanner::OnFileResult(pszPath, status);
    paused_ = true;
    while (!resume_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::atomic<bool> paused_{false};
  std::atomic<bool> resume_{false};
};

}  // namespace quarn::testing
