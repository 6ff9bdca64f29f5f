// Where the FMU binary and its resources are: the binary's own directory,
// the unpacked FMU's resources beside it, and the local path of a file URI.
#include <cctype>
#include <optional>
#include <string>

#include "instance.h"

namespace tds::fmu {

std::string binary_directory() {
  static const int anchor = 0;
  std::string dir = module_directory(&anchor);
  if (dir.empty()) throw Refusal("cannot find the FMU binary's own file");
  return dir;
}

std::string resources_beside(const std::string& binary_dir) {
  return path_join(path_join(path_join(binary_dir, ".."), ".."), "resources");
}

std::optional<std::string> path_of_file_uri(const char* uri) {
  if (uri == nullptr) return std::nullopt;
  std::string s = uri;
  if (s.rfind("file:", 0) != 0) return std::nullopt;
  s.erase(0, 5);
  if (s.rfind("//", 0) == 0) {
    // An authority: empty or localhost.
    const auto slash = s.find('/', 2);
    const std::string host =
        s.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
    if (!host.empty() && host != "localhost") return std::nullopt;
    s = slash == std::string::npos ? "" : s.substr(slash);
  }
  std::string path;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      path += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      path += s[i];
    }
  }
#if defined(_WIN32)
  // "/C:/dir" names the drive's directory.
  if (path.size() >= 3 && path[0] == '/' && path[2] == ':') path.erase(0, 1);
#endif
  if (path.empty()) return std::nullopt;
  return path;
}

}  // namespace tds::fmu
