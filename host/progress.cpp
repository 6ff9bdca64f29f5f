#include "progress.h"

#include <cstdio>

namespace tds {

ProgressBar::ProgressBar(bool enabled, long long total, const char* unit)
    : enabled_(enabled && total > 0), total_(total), unit_(unit), stride_(total / 4096 + 1) {}

ProgressBar::~ProgressBar() {
  if (drawn_) std::fprintf(stderr, "\r%*s\r", 64, "");
}

void ProgressBar::update(long long done) {
  // Looking at the clock costs about as much as a day of the model: a long
  // run looks a few thousand times in all.
  if (!enabled_ || done < next_look_) return;
  next_look_ = done + stride_;
  const auto now = Clock::now();
  if (now - started_ < std::chrono::milliseconds(500) ||
      now - last_ < std::chrono::milliseconds(100))
    return;
  last_ = now;
  drawn_ = true;
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(kWidth * done / total_);
  std::fprintf(stderr, "\r[%.*s%*s] %3lld%%  %s %lld of %lld", filled,
               "##############################", kWidth - filled, "", 100 * done / total_, unit_,
               done, total_);
  std::fflush(stderr);
}

}  // namespace tds
