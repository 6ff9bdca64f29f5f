// Loading a model module the way a simulation host does: by file name, with
// every function resolved by name. Shared by the reference host, the tests,
// the benchmarks and the fuzz targets.
#ifndef TDS_HOST_LOADER_H
#define TDS_HOST_LOADER_H

#include <memory>
#include <stdexcept>
#include <string>

namespace tds {

// A module that cannot be loaded or lacks a function; the message is one line
// that names the file or the function.
class LoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The module file name of a model on this platform: "<model>.so" or "<model>.dll".
std::string module_file_name(const std::string& model);

// The directory of the running executable, without a trailing separator.
std::string executable_directory();

// The directory of the loaded module (the executable or a library) that
// holds `address`, without a trailing separator; empty when it is unknown.
std::string module_directory(const void* address);

// Joins a directory and a file name with the platform's separator.
std::string path_join(const std::string& directory, const std::string& name);

#if defined(_WIN32)
// The text of GetLastError(), without its final line end (and, when asked,
// without its final period, for a message that goes on).
std::string last_windows_error(bool drop_period = true);
#endif

class Module {
 public:
  // Loads the module file at path. A plain file name is searched for the
  // platform's way (beside the executable first on Windows, the executable's
  // RUNPATH on Linux). Throws LoadError.
  static std::unique_ptr<Module> load(const std::string& path);

  // Loads a private copy of the module file: a fresh instance with its own
  // storage, in its load-time state, even when the same file is loaded
  // already. The copy is removed again when it is unloaded (at once on Linux).
  static std::unique_ptr<Module> load_private_copy(const std::string& path);

  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // The address of the named export, or null when there is none.
  void* symbol(const char* name) const noexcept;

  // The address of the named export as a function pointer of type F; throws
  // LoadError naming the function when the module has no such export.
  template <class F>
  F function(const std::string& name) const {
    void* p = symbol(name.c_str());
    if (p == nullptr) throw LoadError(path_ + ": no export named " + name);
    return reinterpret_cast<F>(p);
  }

  const std::string& path() const { return path_; }
  // The platform's handle: the dlopen handle, or the HMODULE (the module's
  // base address).
  void* handle() const { return handle_; }

 private:
  Module(void* handle, std::string path, std::string copy);
  void* handle_;
  std::string path_;
  std::string copy_;  // the private copy to remove after unloading (Windows)
};

}  // namespace tds

#endif  // TDS_HOST_LOADER_H
