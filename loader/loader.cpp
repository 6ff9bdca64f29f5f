#include "loader.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/mman.h>
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

// The bytes of the file at path, or nothing when it cannot be opened.
std::optional<std::string> read_file(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  std::string bytes;
  char chunk[65536];
  for (std::size_t got = 0; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
    bytes.append(chunk, got);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw LoadError("cannot read " + path);
  return bytes;
}

// Checks the module file at path before the platform maps it; a plain name
// that is not a file here is left to the platform's search.
void check_module_file(const std::string& path) {
  const auto bytes = read_file(path);
  if (!bytes) return;
  const std::string problem = header_problem(*bytes);
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

#if defined(_WIN32)
// The private copies of this process live in a directory of its own in the
// temporary directory, "<model>-<pid>-<random>", made when the first copy
// is needed and removed with the last one. Each copy is created there
// exclusively under a random name: nothing at a name another user could
// guess is ever opened. While the directory is in use, the process holds
// its file "lock" open, unshared and deleted on close: when the process
// dies, however, the system closes it and the file goes. A directory
// without its lock file is a dead process's leftover, which the next
// process that makes a directory removes (process ids are reused, so they
// cannot tell).
class CopyDirectory {
 public:
  // A new copy's path in the directory (made if need be); throws LoadError.
  std::string acquire(const std::string& stem, const std::string& extension) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (users_ == 0) make(stem);
    ++users_;
    return path_join(directory_, random_name() + extension);
  }
  // The copy is removed; the directory goes with the last one.
  void release(const std::string& copy) {
    const std::lock_guard<std::mutex> lock(mutex_);
    DeleteFileA(copy.c_str());
    drop();
  }
  // For a copy that was never made.
  void release_unused() {
    const std::lock_guard<std::mutex> lock(mutex_);
    drop();
  }

 private:
  static std::string random_name() {
    std::random_device device;
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", static_cast<unsigned>(device()),
                  static_cast<unsigned>(device()));
    return text;
  }

  void drop() {
    if (--users_ > 0) return;
    CloseHandle(lock_);  // deletes the lock file
    lock_ = INVALID_HANDLE_VALUE;
    RemoveDirectoryA(directory_.c_str());
  }

  static HANDLE open_lock(const std::string& directory) {
    return CreateFileA(path_join(directory, "lock").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  }

  void make(const std::string& stem) {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof buffer, buffer);
    if (n == 0 || n > MAX_PATH) throw LoadError("cannot find the temporary directory");
    const std::string temp(buffer, n);
    const std::string prefix = stem + "-";
    remove_leftovers(temp, prefix);
    const std::string own = prefix + std::to_string(GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 16; ++attempt) {
      directory_ = path_join(temp, own + random_name());
      if (!CreateDirectoryA(directory_.c_str(), nullptr)) {
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
        continue;
      }
      lock_ = open_lock(directory_);
      if (lock_ != INVALID_HANDLE_VALUE) return;
      RemoveDirectoryA(directory_.c_str());  // taken for a leftover meanwhile
    }
    throw LoadError("cannot make a directory for private module copies in " + temp + ": " +
                    last_error());
  }

  // Removes the directories "<prefix>*" whose lock file is gone, with the
  // copies they hold. A live process's lock cannot be deleted (it is open
  // unshared), nor can the copies it has loaded.
  static void remove_leftovers(const std::string& temp, const std::string& prefix) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path_join(temp, prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
          (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        continue;
      const std::string dir = path_join(temp, found.cFileName);
      const std::string lock = path_join(dir, "lock");
      if (GetFileAttributesA(lock.c_str()) != INVALID_FILE_ATTRIBUTES) continue;  // alive
      WIN32_FIND_DATAA inner;
      HANDLE files = FindFirstFileA(path_join(dir, "*").c_str(), &inner);
      if (files != INVALID_HANDLE_VALUE) {
        do {
          if ((inner.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            DeleteFileA(path_join(dir, inner.cFileName).c_str());
        } while (FindNextFileA(files, &inner));
        FindClose(files);
      }
      RemoveDirectoryA(dir.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }

  std::mutex mutex_;
  std::string directory_;
  HANDLE lock_ = INVALID_HANDLE_VALUE;
  unsigned users_ = 0;
};

CopyDirectory& copy_directory() {
  static CopyDirectory* directory =
      new CopyDirectory();  // never destroyed: copies may outlive statics
  return *directory;
}
#endif

}  // namespace

Module::Module(void* handle, std::string path, std::string copy, int fd)
    : handle_(handle), path_(std::move(path)), copy_(std::move(copy)), fd_(fd) {}

Module::~Module() {
  close_module(handle_);
#if defined(_WIN32)
  if (!copy_.empty()) copy_directory().release(copy_);
#else
  if (fd_ >= 0) {
    // While a module loaded from /proc/self/fd/N stays loaded, the loader
    // answers that name with it: the descriptor is kept, so that no later
    // copy gets its number, unless the module is really gone.
    void* still = dlopen(copy_.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (still != nullptr)
      dlclose(still);
    else
      close(fd_);
  }
#endif
}

std::unique_ptr<Module> Module::load(const std::string& path) {
  check_module_file(path);
  void* handle = open_module(path);
  if (handle == nullptr) throw LoadError("cannot load " + path + ": " + last_error());
  return std::unique_ptr<Module>(new Module(handle, path, {}, -1));
}

std::unique_ptr<Module> Module::load_private_copy(const std::string& path) {
  fs::path source(path);
  if (!source.has_parent_path()) source = fs::path(executable_directory()) / source;
  const auto bytes = read_file(source.string());
  if (!bytes) throw LoadError("cannot open " + source.string());
  const std::string problem = header_problem(*bytes);
  if (!problem.empty()) throw LoadError("cannot load " + source.string() + ": " + problem);
#if defined(_WIN32)
  // A DLL is loaded from a file: a new one, made exclusively in the
  // process's own directory, removed when the module is unloaded.
  CopyDirectory& directory = copy_directory();
  const std::string copy = directory.acquire(source.stem().string(), source.extension().string());
  HANDLE file = CreateFileA(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const std::string reason = last_error();
    directory.release_unused();
    throw LoadError("cannot create " + copy + ": " + reason);
  }
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &written, nullptr) &&
      written == bytes->size();
  const std::string write_error = ok ? std::string() : last_error();
  CloseHandle(file);
  void* handle = ok ? open_module(copy) : nullptr;
  if (handle == nullptr) {
    const std::string reason = ok ? last_error() : write_error;
    directory.release(copy);
    throw LoadError("cannot load " + copy + ": " + reason);
  }
  return std::unique_ptr<Module>(new Module(handle, path, copy, -1));
#else
  // An anonymous file in memory: no directory, no name anyone could plant
  // a link at, nothing left behind however the process ends, and no
  // concern whether the temporary directory allows programs to run.
  constexpr unsigned kExec = 0x10U;  // MFD_EXEC: executable even where the default is not
  const std::string stem = source.filename().string();
  int fd = memfd_create(stem.c_str(), MFD_CLOEXEC | kExec);
  if (fd < 0 && errno == EINVAL) fd = memfd_create(stem.c_str(), MFD_CLOEXEC);
  if (fd < 0)
    throw LoadError("cannot make an in-memory copy of " + source.string() + ": " +
                    std::generic_category().message(errno));
  for (std::size_t done = 0; done < bytes->size();) {
    const ssize_t n = write(fd, bytes->data() + done, bytes->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string reason = std::generic_category().message(errno);
      close(fd);
      throw LoadError("cannot write the in-memory copy of " + source.string() + ": " + reason);
    }
    done += static_cast<std::size_t>(n);
  }
  const std::string copy = "/proc/self/fd/" + std::to_string(fd);
  void* handle = open_module(copy);
  if (handle == nullptr) {
    const std::string reason = last_error();
    close(fd);
    throw LoadError("cannot load the in-memory copy of " + source.string() + ": " + reason);
  }
  return std::unique_ptr<Module>(new Module(handle, path, copy, fd));
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
