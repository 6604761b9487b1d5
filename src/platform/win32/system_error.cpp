#include "platform/system_error.h"

#include <windows.h>

#include <string>

#include "platform/text.h"

namespace quarn::platform {

bool record_system_error() { return record_system_error(static_cast<int>(GetLastError())); }

const char* error_word(int code) {
  switch (static_cast<DWORD>(code)) {
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return "permission";
    case ERROR_WRITE_PROTECT: return "read-only";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "no-space";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE: return "not-found";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_DIR_NOT_EMPTY: return "exists";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY: return "in-use";
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE: return "io";
    case ERROR_FILENAME_EXCED_RANGE: return "name-too-long";
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SAME_DEVICE: return "not-supported";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return "no-memory";
    case ERROR_TOO_MANY_OPEN_FILES: return "too-many-files";
    default: return "other";
  }
}

std::string error_reason(int code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = length > 0 && text != nullptr ? narrow(std::wstring_view(text, length))
                                                     : "system error " + std::to_string(static_cast<DWORD>(code));
  if (text != nullptr) LocalFree(text);
  // The system's messages end in a full stop and a line end; the record's
  // text is set inside a sentence of the program's own.
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ' ||
                             reason.back() == '.')) {
    reason.pop_back();
  }
  return reason;
}

}  // namespace quarn::platform
