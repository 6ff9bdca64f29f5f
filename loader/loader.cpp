#include "loader.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace tds {

namespace fs = std::filesystem;

std::string module_file_name(const std::string& model) {
#if defined(_WIN32)
  return model + ".dll";
#else
  return model + ".so";
#endif
}

std::string path_join(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
#if defined(_WIN32)
  const char separator = '\\';
  if (directory.back() == '\\' || directory.back() == '/') return directory + name;
#else
  const char separator = '/';
  if (directory.back() == '/') return directory + name;
#endif
  return directory + separator + name;
}

namespace {

std::string directory_of_file(const std::string& file) {
  const auto cut = file.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : file.substr(0, cut);
}

#if defined(_WIN32)
// The file of a loaded module (null: the executable), or an empty string.
std::string module_file(HMODULE module) {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return "";
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}
#endif

}  // namespace

std::string executable_directory() {
#if defined(_WIN32)
  const std::string self = module_file(nullptr);
  return self.empty() ? std::string(".") : directory_of_file(self);
#else
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return self.parent_path().string();
#endif
}

std::string module_directory(const void* address) {
#if defined(_WIN32)
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module))
    return "";
  const std::string file = module_file(module);
#else
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return "";
  const std::string file = info.dli_fname;
#endif
  return file.empty() ? file : directory_of_file(file);
}

namespace {

std::uint64_t little(const std::string& b, std::uint64_t at, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

// Whether [offset, offset + size) lies inside a file of `total` bytes.
bool inside(std::uint64_t offset, std::uint64_t size, std::uint64_t total) {
  return offset <= total && size <= total - offset;
}

// The reason a module file cannot be loaded safely, or an empty string: the
// platform's loader maps what the headers say without checking it against
// the file, and a truncated file then faults at the first touch.
std::string header_problem(const std::string& b) {
  const std::uint64_t n = b.size();
#if defined(_WIN32)
  if (n < 0x40 || b.compare(0, 2, "MZ") != 0) return "not a Windows module (no MZ header)";
  const std::uint64_t pe = little(b, 0x3c, 4);
  if (!inside(pe, 24, n) || b.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
    return "not a Windows module (no PE header)";
  if (little(b, pe + 4, 2) != 0x8664) return "not a module for x86-64";
  const std::uint64_t sections = little(b, pe + 6, 2), optional = little(b, pe + 20, 2);
  if (!inside(pe + 24, optional, n) || optional < 2 || little(b, pe + 24, 2) != 0x20b)
    return "truncated or corrupt (optional header)";
  const std::uint64_t table = pe + 24 + optional;
  if (!inside(table, sections * 40, n)) return "truncated (section table)";
  for (std::uint64_t i = 0; i < sections; ++i) {
    const std::uint64_t raw_size = little(b, table + i * 40 + 16, 4);
    const std::uint64_t raw_at = little(b, table + i * 40 + 20, 4);
    if (raw_size > 0 && !inside(raw_at, raw_size, n))
      return "truncated (section " + std::to_string(i + 1) + " ends at byte " +
             std::to_string(raw_at + raw_size) + " of a file of " + std::to_string(n) + ")";
  }
#else
  if (n < 64 || b.compare(0, 4,
                          "\x7f"
                          "ELF") != 0)
    return "not an ELF module";
  if (b[4] != 2 || b[5] != 1) return "not a 64-bit little-endian ELF module";
  if (little(b, 16, 2) != 3) return "not a shared object";
  if (little(b, 18, 2) != 62) return "not a module for x86-64";
  const std::uint64_t phoff = little(b, 32, 8), shoff = little(b, 40, 8);
  const std::uint64_t phsize = little(b, 54, 2), phnum = little(b, 56, 2);
  const std::uint64_t shsize = little(b, 58, 2), shnum = little(b, 60, 2);
  if (phsize != 56 || !inside(phoff, phnum * phsize, n)) return "truncated (program headers)";
  if (shnum > 0 && !inside(shoff, shnum * shsize, n)) return "truncated (section headers)";
  for (std::uint64_t i = 0; i < phnum; ++i) {
    const std::uint64_t h = phoff + i * phsize;
    const std::uint64_t offset = little(b, h + 8, 8), filesz = little(b, h + 32, 8);
    const std::uint64_t type = little(b, h, 4);
    if ((type == 1 || type == 2) && !inside(offset, filesz, n))  // PT_LOAD, PT_DYNAMIC
      return "truncated (segment " + std::to_string(i + 1) + " ends at byte " +
             std::to_string(offset + filesz) + " of a file of " + std::to_string(n) + ")";
  }
#endif
  return {};
}

// Checks the module file at path before the platform maps it; a plain name
// that is not a file here is left to the platform's search.
void check_module_file(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return;
  std::string bytes;
  char chunk[65536];
  for (std::size_t got = 0; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
    bytes.append(chunk, got);
  std::fclose(f);
  const std::string problem = header_problem(bytes);
  if (!problem.empty()) throw LoadError("cannot load " + path + ": " + problem);
}

std::string last_error() {
#if defined(_WIN32)
  return last_windows_error(false);
#else
  const char* e = dlerror();
  return e ? e : "unknown error";
#endif
}

void* open_module(const std::string& path) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void close_module(void* handle) {
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle));
#else
  dlclose(handle);
#endif
}

// A file name that no other copy of this process or of another one uses.
std::string private_copy_name(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const fs::path original(path);
#if defined(_WIN32)
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  return original.stem().string() + "-" + std::to_string(pid) + "-" +
         std::to_string(counter.fetch_add(1)) + original.extension().string();
}

}  // namespace

Module::Module(void* handle, std::string path, std::string copy)
    : handle_(handle), path_(std::move(path)), copy_(std::move(copy)) {}

Module::~Module() {
  close_module(handle_);
  if (!copy_.empty()) {
    std::error_code ignored;
    fs::remove(copy_, ignored);
  }
}

std::unique_ptr<Module> Module::load(const std::string& path) {
  check_module_file(path);
  void* handle = open_module(path);
  if (handle == nullptr) throw LoadError("cannot load " + path + ": " + last_error());
  return std::unique_ptr<Module>(new Module(handle, path, {}));
}

std::unique_ptr<Module> Module::load_private_copy(const std::string& path) {
  std::error_code error;
  fs::path source(path);
  if (!source.has_parent_path()) source = fs::path(executable_directory()) / source;
  const fs::path copy = fs::temp_directory_path(error) / private_copy_name(path);
  if (error || !fs::copy_file(source, copy, fs::copy_options::overwrite_existing, error))
    throw LoadError("cannot copy " + source.string() + ": " + error.message());
  try {
    check_module_file(copy.string());
  } catch (...) {
    fs::remove(copy, error);
    throw;
  }
  void* handle = open_module(copy.string());
  if (handle == nullptr) {
    const std::string reason = last_error();
    fs::remove(copy, error);
    throw LoadError("cannot load " + copy.string() + ": " + reason);
  }
#if defined(_WIN32)
  // A loaded DLL cannot be removed; the destructor removes it after unloading.
  return std::unique_ptr<Module>(new Module(handle, path, copy.string()));
#else
  // The mapping outlives the directory entry.
  fs::remove(copy, error);
  return std::unique_ptr<Module>(new Module(handle, path, {}));
#endif
}

void* Module::symbol(const char* name) const noexcept {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

#if defined(_WIN32)
std::string last_windows_error(bool drop_period) {
  const DWORD code = GetLastError();
  char text[256] = {0};
  if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     text, sizeof text, nullptr) == 0)
    return "error " + std::to_string(code);
  std::string s = text;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' ||
                        (drop_period && s.back() == '.')))
    s.pop_back();
  return s;
}
#endif

}  // namespace tds
