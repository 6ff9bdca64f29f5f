#include "loader.h"

#include <atomic>
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

std::string executable_directory() {
#if defined(_WIN32)
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return ".";
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  const auto cut = buffer.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : buffer.substr(0, cut);
#else
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return self.parent_path().string();
#endif
}

namespace {

std::string last_error() {
#if defined(_WIN32)
  const DWORD code = GetLastError();
  char text[256] = {0};
  if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     text, sizeof text, nullptr) == 0)
    return "error " + std::to_string(code);
  std::string s = text;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
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

}  // namespace tds
