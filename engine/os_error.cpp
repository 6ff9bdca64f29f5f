#include "os_error.h"

#include <cstring>

namespace tds {

std::string error_text(int code) { return std::strerror(code); }

}  // namespace tds
