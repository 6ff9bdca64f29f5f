// The text of a failed system call's error, for one-line messages.
#ifndef TDS_ENGINE_OS_ERROR_H
#define TDS_ENGINE_OS_ERROR_H

#include <string>

namespace tds {

// The text of an errno value.
std::string error_text(int code);
#if defined(_WIN32)
// The text of GetLastError(), without its final period and line end.
std::string last_windows_error();
#endif

}  // namespace tds

#endif  // TDS_ENGINE_OS_ERROR_H
