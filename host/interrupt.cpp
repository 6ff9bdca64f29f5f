#include "interrupt.h"

#include <cstring>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <vector>
#else
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace tds::interrupt {

namespace {

constexpr char kMessage[] = "tarvello-run: interrupted\n";

#if defined(_WIN32)

std::recursive_mutex& lock() {
  static std::recursive_mutex m;
  return m;
}
std::vector<std::string>& files() {
  static std::vector<std::string> f;
  return f;
}
HANDLE g_job = nullptr;

BOOL WINAPI on_console_event(DWORD event) {
  const int code = event == CTRL_C_EVENT ? 130 : event == CTRL_BREAK_EVENT ? 149 : 129;
  const std::lock_guard<std::recursive_mutex> held(lock());
  if (g_job != nullptr) {
    TerminateJobObject(g_job, static_cast<UINT>(code));
    // Termination is asynchronous: wait, a bounded while, until the job's
    // processes are gone, so that no worker outlives the interrupted run.
    for (int attempt = 0; attempt < 250; ++attempt) {
      JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
      if (!QueryInformationJobObject(g_job, JobObjectBasicAccountingInformation, &info, sizeof info,
                                     nullptr) ||
          info.ActiveProcesses == 0)
        break;
      Sleep(20);
    }
  }
  // A child's file can be removed once the child is gone; give them a moment.
  for (const std::string& f : files()) {
    if (f.empty()) continue;
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (DeleteFileA(f.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
          GetLastError() == ERROR_PATH_NOT_FOUND)
        break;
      Sleep(20);
    }
  }
  std::fputs(kMessage, stderr);
  std::fflush(stderr);
  ExitProcess(static_cast<UINT>(code));
}

#else

constexpr std::size_t kFiles = 64, kPathMax = 4096, kChildren = 4352;
char g_files[kFiles][kPathMax];
volatile sig_atomic_t g_file_used[kFiles];
pid_t g_children[kChildren];
volatile sig_atomic_t g_child_count = 0;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void on_signal(int sig) {
  // The children first, so that none makes a file after it was removed.
  for (sig_atomic_t i = 0; i < g_child_count; ++i) kill(g_children[i], SIGKILL);
  for (sig_atomic_t i = 0; i < g_child_count; ++i)
    while (waitpid(g_children[i], nullptr, 0) < 0 && errno == EINTR) {
    }
  for (std::size_t i = 0; i < kFiles; ++i)
    if (g_file_used[i]) unlink(g_files[i]);
  const ssize_t ignored = write(2, kMessage, sizeof kMessage - 1);
  (void)ignored;
  _exit(128 + sig);
}

sigset_t interrupting() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  return set;
}

#endif

}  // namespace

#if defined(_WIN32)

void install() { SetConsoleCtrlHandler(on_console_event, TRUE); }
void as_child() { SetConsoleCtrlHandler(on_console_event, FALSE); }

Hold::Hold() { lock().lock(); }
Hold::~Hold() { lock().unlock(); }

std::size_t add_file(const std::string& path) {
  const std::lock_guard<std::recursive_mutex> held(lock());
  auto& f = files();
  for (std::size_t i = 0; i < f.size(); ++i)
    if (f[i].empty()) {
      f[i] = path;
      return i;
    }
  f.push_back(path);
  return f.size() - 1;
}

void remove_file(std::size_t slot) {
  const std::lock_guard<std::recursive_mutex> held(lock());
  if (slot < files().size()) files()[slot].clear();
}

void* job() {
  const std::lock_guard<std::recursive_mutex> held(lock());
  if (g_job == nullptr) {
    g_job = CreateJobObjectA(nullptr, nullptr);
    if (g_job != nullptr) {
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
      limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
      SetInformationJobObject(g_job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
  }
  return g_job;
}

#else

void install() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  action.sa_mask = interrupting();
  for (int s : kSignals) sigaction(s, &action, nullptr);
}

void as_child() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  for (int s : kSignals) sigaction(s, &action, nullptr);
  for (std::size_t i = 0; i < kFiles; ++i) g_file_used[i] = 0;
  g_child_count = 0;
  const sigset_t set = interrupting();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

Hold::Hold() : saved_() {
  const sigset_t set = interrupting();
  sigprocmask(SIG_BLOCK, &set, &saved_);
}
Hold::~Hold() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

std::size_t add_file(const std::string& path) {
  if (path.size() >= kPathMax) throw std::runtime_error("path too long: " + path);
  const Hold held;
  for (std::size_t i = 0; i < kFiles; ++i)
    if (!g_file_used[i]) {
      std::memcpy(g_files[i], path.c_str(), path.size() + 1);
      g_file_used[i] = 1;
      return i;
    }
  throw std::runtime_error("too many temporary files at once");
}

void remove_file(std::size_t slot) {
  const Hold held;
  if (slot < kFiles) g_file_used[slot] = 0;
}

void add_child(int pid) {
  const Hold held;
  if (static_cast<std::size_t>(g_child_count) >= kChildren)
    throw std::runtime_error("too many children at once");
  g_children[g_child_count] = pid;
  g_child_count = g_child_count + 1;
}

void remove_child(int pid) {
  const Hold held;
  for (sig_atomic_t i = 0; i < g_child_count; ++i)
    if (g_children[i] == pid) {
      g_children[i] = g_children[g_child_count - 1];
      g_child_count = g_child_count - 1;
      return;
    }
}

#endif

}  // namespace tds::interrupt
