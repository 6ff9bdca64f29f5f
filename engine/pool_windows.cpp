// Workers are the program named by the options' worker command, started
// again; the caller's hook puts each in the job object that kills it with
// its parent. A thread per worker reads its answers.
#if defined(_WIN32)

#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "os_error.h"
#include "pool.h"
#include "worker_protocol.h"

namespace tds {

namespace {

std::string quote_argument(const std::string& arg) {
  // The quoting that the C runtime's command-line parser undoes.
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < arg.size() && arg[i] == '\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      out.append(backslashes * 2, '\\');
      break;
    }
    if (arg[i] == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    out += arg[i];
  }
  return out + "\"";
}

class ProcessPool final : public Pool {
 public:
  ProcessPool(std::size_t slots, const BatchOptions& o) : workers_(slots), hooks_(o.hooks) {
    if (o.worker_command.empty()) throw RunError("a batch on Windows needs a worker command");
    for (const std::string& arg : o.worker_command)
      command_ += (command_.empty() ? "" : " ") + quote_argument(arg);
  }
  ProcessPool(const ProcessPool&) = delete;
  ProcessPool& operator=(const ProcessPool&) = delete;
  ProcessPool(ProcessPool&&) = delete;
  ProcessPool& operator=(ProcessPool&&) = delete;
  ~ProcessPool() override {
    for (Worker& w : workers_)
      if (w.process != nullptr) TerminateProcess(w.process, 1);
    for (Worker& w : workers_) finish(w);
  }

  bool start(std::size_t slot, std::string& why) override {
    Worker& w = workers_[slot];
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE request_read = nullptr, request_write = nullptr, answer_read = nullptr,
           answer_write = nullptr;
    if (!CreatePipe(&request_read, &request_write, &inherit, 0)) {
      why = "cannot make a pipe: " + last_windows_error();
      return false;
    }
    if (!CreatePipe(&answer_read, &answer_write, &inherit, 0)) {
      why = "cannot make a pipe: " + last_windows_error();
      CloseHandle(request_read);
      CloseHandle(request_write);
      return false;
    }
    SetHandleInformation(request_write, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(answer_read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = request_read;
    startup.hStdOutput = answer_write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    std::string command = command_;
    if (hooks_.hold) hooks_.hold();  // in the job before an interruption can miss it
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                                        CREATE_SUSPENDED, nullptr, nullptr, &startup, &child);
    CloseHandle(request_read);
    CloseHandle(answer_write);
    if (!started) {
      why = "could not be started (" + last_windows_error() + ")";
      if (hooks_.release) hooks_.release();
      CloseHandle(request_write);
      CloseHandle(answer_read);
      return false;
    }
    if (hooks_.started) hooks_.started(child.hProcess);
    ResumeThread(child.hThread);
    if (hooks_.release) hooks_.release();
    CloseHandle(child.hThread);
    w.process = child.hProcess;
    w.to = request_write;
    w.reader = std::thread([this, slot, answer_read, process = child.hProcess] {
      read_loop(slot, answer_read, process);
    });
    return true;
  }

  bool send(std::size_t slot, const std::string& request) override {
    DWORD n = 0;
    return WriteFile(workers_[slot].to, request.data(), static_cast<DWORD>(request.size()), &n,
                     nullptr) &&
           n == request.size();
  }

  void retire(std::size_t slot) override {
    Worker& w = workers_[slot];
    if (w.to != nullptr) CloseHandle(w.to);
    w.to = nullptr;
  }

  PoolEvent wait() override {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !events_.empty(); });
    PoolEvent e = std::move(events_.front());
    events_.pop_front();
    lock.unlock();
    if (e.ended) finish(workers_[e.slot]);
    return e;
  }

 private:
  struct Worker {
    HANDLE process = nullptr;
    HANDLE to = nullptr;
    std::thread reader;
  };

  void finish(Worker& w) {
    if (w.reader.joinable()) w.reader.join();
    retire(static_cast<std::size_t>(&w - workers_.data()));
    if (w.process != nullptr) CloseHandle(w.process);
    w.process = nullptr;
  }

  void push(PoolEvent e) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(std::move(e));
    }
    ready_.notify_one();
  }

  void read_loop(std::size_t slot, HANDLE from, HANDLE process) {
    std::string buffer;
    char chunk[65536];
    for (DWORD n = 0; ReadFile(from, chunk, sizeof chunk, &n, nullptr) && n > 0;) {
      buffer.append(chunk, n);
      while (auto answer = wire::next_frame(buffer)) push({slot, false, std::move(*answer), {}, 0});
    }
    CloseHandle(from);
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    PoolEvent e{slot, true, {}, {}, static_cast<int>(code)};
    if (code >= 0xC0000000u) {
      char text[32];
      std::snprintf(text, sizeof text, "exception 0x%08lx", static_cast<unsigned long>(code));
      e.crash = text;
    }
    push(std::move(e));
  }

  std::vector<Worker> workers_;
  const BatchHooks& hooks_;
  std::string command_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<PoolEvent> events_;
};

}  // namespace

std::unique_ptr<Pool> make_pool(std::size_t slots, const BatchOptions& options,
                                const WorkerBody& /*body*/) {
  return std::make_unique<ProcessPool>(slots, options);
}

}  // namespace tds

#endif
