// The text of a failed system call's error, for one-line messages (on
// Windows also last_windows_error(), from the loader).
#ifndef TDS_ENGINE_OS_ERROR_H
#define TDS_ENGINE_OS_ERROR_H

#include <string>

#include "loader.h"

namespace tds {

// The text of an errno value.
std::string error_text(int code);

}  // namespace tds

#endif  // TDS_ENGINE_OS_ERROR_H
