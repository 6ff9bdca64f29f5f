// Interruption of tarvello-run: SIGINT, SIGTERM and SIGHUP on Linux; Ctrl-C,
// Ctrl-Break and the closing of the console on Windows. The program removes
// every temporary file it has registered, stops and reaps every child it has
// registered, prints one line ("tarvello-run: interrupted") and exits with
// 128 + the signal number (Windows: 130 for Ctrl-C, 149 for Ctrl-Break, 129
// for a closed console, logoff or shutdown).
//
// The work is done in the handler itself, so that it happens wherever the
// program is, deep in a model run or waiting for a sweep's workers. What the
// handler needs is kept in fixed static storage, written only while the
// signals are blocked.
#ifndef TDS_HOST_INTERRUPT_H
#define TDS_HOST_INTERRUPT_H

#include <cstddef>
#include <string>

#if !defined(_WIN32)
#include <signal.h>
#endif

namespace tds::interrupt {

// Installs the handlers; called once, at the start of the program.
void install();

// In a child process that a sweep forked: the default dispositions again, and
// nothing of the parent's registry (the parent cleans up after its children).
void as_child();

// While one lives, the three signals wait (Windows: the handler waits).
class Hold {
 public:
  Hold();
  ~Hold();
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;
  Hold(Hold&&) = delete;
  Hold& operator=(Hold&&) = delete;

 private:
#if !defined(_WIN32)
  sigset_t saved_;
#endif
};

// Temporary files to remove on interruption. add_file returns a slot for
// remove_file; throws std::runtime_error when every slot is taken.
std::size_t add_file(const std::string& path);
void remove_file(std::size_t slot);

#if defined(_WIN32)
// The job object that every child joins; closing it (the program's end, in
// any way) kills them, and an interruption terminates it.
void* job();
#else
// Children to kill and reap on interruption.
void add_child(int pid);
void remove_child(int pid);
#endif

}  // namespace tds::interrupt

#endif  // TDS_HOST_INTERRUPT_H
