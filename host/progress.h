// A one-line progress bar on stderr for long work. It appears only once the
// work has taken half a second, so that short runs stay silent, is redrawn at
// most ten times a second, and is wiped when the work is done.
#ifndef TDS_HOST_PROGRESS_H
#define TDS_HOST_PROGRESS_H

#include <chrono>

namespace tds {

class ProgressBar {
 public:
  // unit names what is counted ("day", "case").
  ProgressBar(bool enabled, long long total, const char* unit);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  ProgressBar(ProgressBar&&) = delete;
  ProgressBar& operator=(ProgressBar&&) = delete;

  // Cheap enough to call for every unit of work.
  void update(long long done);

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  long long total_;
  const char* unit_;
  long long stride_;
  long long next_look_ = 0;
  bool drawn_ = false;
  Clock::time_point started_ = Clock::now(), last_ = started_;
};

}  // namespace tds

#endif  // TDS_HOST_PROGRESS_H
