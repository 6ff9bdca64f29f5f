#include "os_error.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tds {

std::string error_text(int code) { return std::strerror(code); }

#if defined(_WIN32)
std::string last_windows_error() {
  const DWORD code = GetLastError();
  char text[256] = {0};
  if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     text, sizeof text, nullptr) == 0)
    return "error " + std::to_string(code);
  std::string s = text;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.'))
    s.pop_back();
  return s;
}
#endif

}  // namespace tds
