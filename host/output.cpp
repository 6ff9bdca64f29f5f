#include "output.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "description.h"
#include "interrupt.h"
#include "run.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tds {

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
// Device names that Windows resolves in every directory, with any extension.
bool is_device_name(const std::string& path) {
  std::string base = fs::path(path).filename().string();
  base = base.substr(0, base.find('.'));
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$")
    return true;
  return base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
         base[3] >= '1' && base[3] <= '9';
}
#endif

bool g_stdout_used = false;
bool g_stdout_closed = false;

}  // namespace

RawFile::~RawFile() { (void)close(); }

RawFile::RawFile(RawFile&& other) noexcept {
#if defined(_WIN32)
  std::swap(handle_, other.handle_);
#else
  std::swap(fd_, other.fd_);
#endif
}

RawFile& RawFile::operator=(RawFile&& other) noexcept {
  if (this != &other) {
    (void)close();
#if defined(_WIN32)
    std::swap(handle_, other.handle_);
#else
    std::swap(fd_, other.fd_);
#endif
  }
  return *this;
}

#if defined(_WIN32)

RawFile RawFile::open_with(const std::string& path, unsigned long access, unsigned long share,
                           unsigned long disposition, unsigned long flags, std::string& error) {
  RawFile f;
  HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = last_windows_error();
    return f;
  }
  error.clear();
  f.handle_ = h;
  return f;
}

RawFile RawFile::create_new(const std::string& path, std::string& error) {
  // CREATE_NEW fails on any existing name, a link included. Shared for
  // deletion: an interruption removes it while it is still open.
  return open_with(path, GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_NEW,
                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, error);
}

RawFile RawFile::open_append(const std::string& path, std::string& error) {
  return open_with(path, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_EXISTING,
                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, error);
}

RawFile RawFile::open_existing(const std::string& path, std::string& error) {
  return open_with(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                   FILE_ATTRIBUTE_NORMAL, error);
}

bool RawFile::is_open() const { return handle_ != nullptr; }

std::string RawFile::write(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(static_cast<HANDLE>(handle_), bytes.data(), chunk, &n, nullptr) || n == 0)
      return last_windows_error();
    bytes.remove_prefix(n);
  }
  return {};
}

std::string RawFile::sync() {
  // Devices cannot be flushed; only files on disk need it.
  if (GetFileType(static_cast<HANDLE>(handle_)) != FILE_TYPE_DISK) return {};
  return FlushFileBuffers(static_cast<HANDLE>(handle_)) ? std::string() : last_windows_error();
}

std::string RawFile::close() {
  if (handle_ == nullptr) return {};
  const BOOL ok = CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  return ok ? std::string() : last_windows_error();
}

std::string replace_file(const std::string& from, const std::string& to) {
  // Another process may hold the target for a moment (a concurrent rename, a
  // scanner): Windows then refuses the replacement, so it is tried again.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return {};
    const DWORD code = GetLastError();
    if (attempt >= 50 || (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION))
      return last_windows_error();
    Sleep(20);
  }
}

#else

RawFile RawFile::create_new(const std::string& path, std::string& error) {
  RawFile f;
  f.fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  error = f.fd_ < 0 ? error_text(errno) : std::string();
  return f;
}

RawFile RawFile::open_append(const std::string& path, std::string& error) {
  RawFile f;
  f.fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  error = f.fd_ < 0 ? error_text(errno) : std::string();
  return f;
}

RawFile RawFile::open_existing(const std::string& path, std::string& error) {
  RawFile f;
  f.fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  error = f.fd_ < 0 ? error_text(errno) : std::string();
  return f;
}

bool RawFile::is_open() const { return fd_ >= 0; }

std::string RawFile::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return error_text(n < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

std::string RawFile::sync() {
  struct stat s {};
  if (fstat(fd_, &s) != 0 || !S_ISREG(s.st_mode)) return {};
  return fsync(fd_) == 0 ? std::string() : error_text(errno);
}

std::string RawFile::close() {
  if (fd_ < 0) return {};
  const int r = ::close(fd_);
  fd_ = -1;
  return r == 0 || errno == EINTR ? std::string() : error_text(errno);
}

std::string replace_file(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return error_text(errno);
  // The rename itself on disk: the directory's entry.
  const std::string dir =
      fs::path(to).has_parent_path() ? fs::path(to).parent_path().string() : ".";
  const int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (d >= 0) {
    fsync(d);
    ::close(d);
  }
  return {};
}

#endif

std::string random_token() {
  static std::atomic<unsigned> counter{0};
  static const unsigned long long seed = [] {
    std::random_device device;
    return (static_cast<unsigned long long>(device()) << 32) ^ device() ^
           static_cast<unsigned long long>(
               std::chrono::steady_clock::now().time_since_epoch().count());
  }();
  std::mt19937_64 mix(seed + counter.fetch_add(1) * 0x9e3779b97f4a7c15ull);
  char token[17];
  std::snprintf(token, sizeof token, "%016llx", static_cast<unsigned long long>(mix()));
  return token;
}

std::string temporary_name_for(const std::string& path) {
  const fs::path p(path);
  // Built by appending: GCC 12 takes "." + name for an overlapping copy.
  std::string name = ".";
  name += p.filename().string();
  name += '.';
  name += random_token();
  name += ".tmp";
  return (p.parent_path() / name).string();
}

std::unique_ptr<OutputFile> OutputFile::open(const std::string& target, const std::string& what) {
  std::unique_ptr<OutputFile> out(new OutputFile());
  out->target_ = target;
  if (target == "-") {
    out->mode_ = Mode::Stdout;
    return out;
  }
  if (target.empty()) throw InputError(what + ": the file name is empty");
  std::error_code error;
  const fs::file_status status = fs::status(target, error);
  std::string reason;
#if defined(_WIN32)
  const bool device = is_device_name(target);
#else
  const bool device = false;
#endif
  if (fs::is_directory(status)) throw InputError(what + ": " + target + " is a directory");
  if (device || (fs::exists(status) && !fs::is_regular_file(status))) {
    // A FIFO, a device: written as it stands, never replaced.
    out->mode_ = Mode::Direct;
    out->file_ = RawFile::open_existing(target, reason);
    if (!out->file_.is_open()) throw InputError(what + ": cannot write " + target + ": " + reason);
    return out;
  }
  // A link to a file is followed: the file it names is replaced.
  for (int depth = 0; depth < 40 && fs::is_symlink(fs::symlink_status(out->target_, error));
       ++depth) {
    const fs::path link(out->target_);
    const fs::path to = fs::read_symlink(link, error);
    if (error) break;
    out->target_ = (to.is_absolute() ? to : link.parent_path() / to).string();
  }
  const fs::path parent = fs::path(out->target_).parent_path();
  if (!parent.empty() && !fs::is_directory(parent, error))
    throw InputError(what + ": there is no directory " + parent.string());
  out->mode_ = Mode::Replace;
  for (int attempt = 0; attempt < 100 && !out->file_.is_open(); ++attempt) {
    const interrupt::Hold held;
    out->temporary_ = temporary_name_for(out->target_);
    out->file_ = RawFile::create_new(out->temporary_, reason);
    if (out->file_.is_open())
      out->slot_ = interrupt::add_file(out->temporary_);
    else if (!fs::exists(fs::symlink_status(out->temporary_, error)))
      break;  // a real failure, not a name taken by chance
  }
  if (!out->file_.is_open())
    throw InputError(what + ": cannot write in " + (parent.empty() ? "." : parent.string()) + ": " +
                     reason);
  return out;
}

OutputFile::~OutputFile() {
  if (mode_ == Mode::Replace && !committed_) {
    (void)file_.close();
    std::remove(temporary_.c_str());
    interrupt::remove_file(slot_);
  }
}

void OutputFile::write(std::string_view bytes) {
  if (mode_ == Mode::Stdout) {
    held_.append(bytes);
    return;
  }
  const std::string reason = file_.write(bytes);
  if (!reason.empty()) throw RunError("cannot write " + target_ + ": " + reason);
}

void OutputFile::commit() {
  if (mode_ == Mode::Stdout) {
    write_stdout(held_);
    committed_ = true;
    return;
  }
  std::string reason = file_.sync();
  if (reason.empty()) reason = file_.close();
  if (!reason.empty()) throw RunError("cannot write " + target_ + ": " + reason);
  if (mode_ == Mode::Replace) {
    reason = replace_file(temporary_, target_);
    if (!reason.empty())
      throw RunError("cannot rename " + temporary_ + " to " + target_ + ": " + reason);
    interrupt::remove_file(slot_);
  }
  committed_ = true;
}

void write_file_atomically(const std::string& path, std::string_view text) {
  std::unique_ptr<OutputFile> out;
  try {
    out = OutputFile::open(path, "cannot write " + path);
  } catch (const InputError& e) {
    throw RunError(e.what());
  }
  out->write(text);
  out->commit();
}

void guard_standard_streams() {
#if !defined(_WIN32)
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      ::close(null);
    }
    if (fd == 1) g_stdout_closed = true;
  }
#endif
}

void write_stdout(std::string_view text) {
  g_stdout_used = true;
  errno = 0;
  if (g_stdout_closed) throw RunError("cannot write to standard output: " + error_text(EBADF));
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
    throw RunError("cannot write to standard output: " + error_text(errno ? errno : EIO));
}

void close_stdout() {
  if (!g_stdout_used || g_stdout_closed) return;
  g_stdout_used = false;
  errno = 0;
  if (std::fclose(stdout) != 0)
    throw RunError("cannot write to standard output: " + error_text(errno ? errno : EIO));
}

}  // namespace tds
