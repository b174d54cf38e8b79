#include "mgarc/cli/progress_line.h"

#include <cstdio>

#include "platform/console.h"

namespace mgarc::cli {

std::string ProgressText(std::uint64_t entriesDone, std::uint64_t entries, std::uint64_t bytesDone,
                         std::uint64_t bytes, double seconds) {
  constexpr double kMiB = 1024.0 * 1024.0;
  double rate = seconds > 0 ? static_cast<double>(bytesDone) / kMiB / seconds : 0.0;
  char text[128];
  std::snprintf(text, sizeof text, "%llu/%llu entries  %.1f/%.1f MiB  %.1f MiB/s",
                static_cast<unsigned long long>(entriesDone),
                static_cast<unsigned long long>(entries), static_cast<double>(bytesDone) / kMiB,
                static_cast<double>(bytes) / kMiB, rate);
  return text;
}

std::string TotalsText(std::uint64_t files, std::uint64_t bytes, double seconds) {
  char text[128];
  std::snprintf(text, sizeof text, "%llu file%s, %.1f MiB in %.2f s",
                static_cast<unsigned long long>(files), files == 1 ? "" : "s",
                static_cast<double>(bytes) / (1024.0 * 1024.0), seconds);
  return text;
}

ProgressDisplay::ProgressDisplay(bool shown)
    : shown_(shown), start_(std::chrono::steady_clock::now()) {}

void ProgressDisplay::Draw(const engine::Progress& progress) {
  if (!shown_) return;
  auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  double seconds = Seconds();
  WriteUtf8(TextStream::kErr, "\r" +
                                  ProgressText(progress.itemsDone, progress.items,
                                               progress.bytesDone, progress.bytes, seconds) +
                                  "\x1b[K");
  drawn_ = true;
  lastDraw_ = now;
}

double ProgressDisplay::Seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void ProgressDisplay::Clear() {
  if (!drawn_) return;
  WriteUtf8(TextStream::kErr, "\r\x1b[K");
  drawn_ = false;
}

}  // namespace mgarc::cli
