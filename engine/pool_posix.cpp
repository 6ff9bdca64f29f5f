// Workers are forks of this process, which holds the library as loaded. The
// pool polls their answer pipes.
#if !defined(_WIN32)

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "os_error.h"
#include "pool.h"
#include "worker_protocol.h"

namespace tds {

namespace {

// Holds interruptions for as long as it lives, through the caller's hooks.
class Held {
 public:
  explicit Held(const BatchHooks& hooks) : hooks_(hooks) {
    if (hooks_.hold) hooks_.hold();
  }
  ~Held() {
    if (hooks_.release) hooks_.release();
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  Held(Held&&) = delete;
  Held& operator=(Held&&) = delete;

 private:
  const BatchHooks& hooks_;
};

class ForkPool final : public Pool {
 public:
  ForkPool(std::size_t slots, const BatchHooks& hooks, WorkerBody body)
      : workers_(slots), hooks_(hooks), body_(std::move(body)) {}
  ForkPool(const ForkPool&) = delete;
  ForkPool& operator=(const ForkPool&) = delete;
  ForkPool(ForkPool&&) = delete;
  ForkPool& operator=(ForkPool&&) = delete;
  ~ForkPool() override {
    for (Worker& w : workers_)
      if (w.pid > 0) kill(w.pid, SIGKILL);
    for (Worker& w : workers_)
      if (w.pid > 0) reap(w);
  }

  bool start(std::size_t slot, std::string& why) override {
    Worker& w = workers_[slot];
    int requests[2], answers[2];
    if (pipe(requests) != 0) {
      why = "cannot make a pipe: " + error_text(errno);
      return false;
    }
    if (pipe(answers) != 0) {
      why = "cannot make a pipe: " + error_text(errno);
      close(requests[0]);
      close(requests[1]);
      return false;
    }
    std::fflush(nullptr);
    const Held held(hooks_);
    const pid_t pid = fork();
    if (pid < 0) {
      why = "cannot fork: " + error_text(errno);
      for (int fd : {requests[0], requests[1], answers[0], answers[1]}) close(fd);
      return false;
    }
    if (pid == 0) {
      if (hooks_.in_worker) hooks_.in_worker();
      for (const Worker& other : workers_) {
        if (other.to >= 0) close(other.to);
        if (other.from >= 0) close(other.from);
      }
      close(requests[1]);
      close(answers[0]);
      _exit(body_(requests[0], answers[1]));
    }
    if (hooks_.started) hooks_.started(pid);
    close(requests[0]);
    close(answers[1]);
    w.pid = pid;
    w.to = requests[1];
    w.from = answers[0];
    w.buffer.clear();
    return true;
  }

  // A worker that has died since its last answer (one that waited between
  // batches, say) fails the write instead of raising SIGPIPE here; wait()
  // then reports its end.
  bool send(std::size_t slot, const std::string& request) override {
    const Worker& w = workers_[slot];
    sigset_t pipe_signal, saved;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &saved);
    bool sent = true;
    for (std::size_t done = 0; done < request.size();) {
      const ssize_t n = write(w.to, request.data() + done, request.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n < 0 && errno == EPIPE && sigismember(&saved, SIGPIPE) == 0) {
          const timespec now{};
          while (sigtimedwait(&pipe_signal, nullptr, &now) < 0 && errno == EINTR) {
          }
        }
        sent = false;
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return sent;
  }

  void retire(std::size_t slot) override {
    Worker& w = workers_[slot];
    if (w.to >= 0) close(w.to);
    w.to = -1;
  }

  PoolEvent wait() override {
    for (;;) {
      // An answer already in a buffer comes first.
      for (std::size_t s = 0; s < workers_.size(); ++s)
        if (auto answer = wire::next_frame(workers_[s].buffer))
          return {s, false, std::move(*answer), {}, 0};
      polls_.clear();
      slots_.clear();
      for (std::size_t s = 0; s < workers_.size(); ++s)
        if (workers_[s].from >= 0) {
          polls_.push_back({workers_[s].from, POLLIN, 0});
          slots_.push_back(s);
        }
      if (polls_.empty()) throw RunError("a batch waited for no worker");
      if (poll(polls_.data(), polls_.size(), -1) < 0) {
        if (errno == EINTR) continue;
        throw RunError("poll: " + error_text(errno));
      }
      for (std::size_t k = 0; k < polls_.size(); ++k) {
        if (polls_[k].revents == 0) continue;
        Worker& w = workers_[slots_[k]];
        const ssize_t n = read(w.from, chunk_, sizeof chunk_);
        if (n < 0 && errno == EINTR) continue;
        if (n > 0) {
          w.buffer.append(chunk_, static_cast<std::size_t>(n));
          if (auto answer = wire::next_frame(w.buffer))
            return {slots_[k], false, std::move(*answer), {}, 0};
          continue;
        }
        // The end of its answers: the worker has ended.
        return reap(w);
      }
    }
  }

 private:
  struct Worker {
    pid_t pid = -1;
    int to = -1, from = -1;
    std::string buffer;
  };

  PoolEvent reap(Worker& w) {
    PoolEvent e;
    e.slot = static_cast<std::size_t>(&w - workers_.data());
    e.ended = true;
    if (w.from >= 0) close(w.from);
    if (w.to >= 0) close(w.to);
    w.from = w.to = -1;
    int status = 0;
    {
      const Held held(hooks_);
      while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
      }
      if (hooks_.ended) hooks_.ended(w.pid);
    }
    w.pid = -1;
    if (WIFSIGNALED(status))
      e.crash = "killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
                strsignal(WTERMSIG(status)) + ")";
    else
      e.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return e;
  }

  std::vector<Worker> workers_;
  const BatchHooks& hooks_;
  WorkerBody body_;
  std::vector<pollfd> polls_;
  std::vector<std::size_t> slots_;
  char chunk_[65536] = {};
};

}  // namespace

std::unique_ptr<Pool> make_pool(std::size_t slots, const BatchOptions& options,
                                const WorkerBody& body) {
  return std::make_unique<ForkPool>(slots, options.hooks, body);
}

}  // namespace tds

#endif
