#include "batch/report.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "batch/messages.h"
#include "batch/terminal_text.h"
#include "toolkit/strings.h"

namespace {

// Columns a UTF-8 text takes, counting every character beyond ASCII as two: file names here are
// often Japanese, whose characters are wide.
std::size_t Columns(const std::string& text) {
  std::size_t columns = 0;
  for (unsigned char c : text)
    if (c < 0x80) ++columns;
    else if (c >= 0xC0) columns += 2;
  return columns;
}

// The end of `text` that fits in `columns`, with "..." in front when anything was cut, cut only
// between whole characters.
std::string Tail(const std::string& text, std::size_t columns) {
  if (Columns(text) <= columns) return text;
  if (columns <= 3) return {};
  std::size_t start = text.size();
  std::size_t used = 3;
  while (start > 0) {
    std::size_t begin = start - 1;
    while (begin > 0 && (static_cast<unsigned char>(text[begin]) & 0xC0) == 0x80) --begin;
    const std::size_t width = Columns(text.substr(begin, start - begin));
    if (used + width > columns) break;
    used += width;
    start = begin;
  }
  return "..." + text.substr(start);
}

std::size_t TerminalColumns(std::FILE* stream) {
  winsize size{};
  if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

TBatchReport::TBatchReport(std::FILE* err, std::size_t total, bool progress, bool summary)
    : err_(err), total_(total), progress_(progress), summary_(summary) {}

void TBatchReport::Started(const std::string& input) {
  const std::lock_guard lock(mutex_);
  current_ = QuotedName(input);
  DrawProgress();
}

void TBatchReport::Written() {
  const std::lock_guard lock(mutex_);
  ++written_;
  DrawProgress();
}

void TBatchReport::Kept(const std::string& input, const std::string& output) {
  const std::lock_guard lock(mutex_);
  ++kept_;
  if (finished_ || !summary_) return;
  ClearProgress();
  std::fprintf(err_, "%s: kept %s (it exists)\n", QuotedName(input).c_str(), QuotedName(output).c_str());
  DrawProgress();
}

void TBatchReport::Failed(const std::string& input, const std::string& message, const std::vector<std::string>& names) {
  const std::lock_guard lock(mutex_);
  ++failed_;
  if (finished_) return;
  // A message made for a message box may break its line; here each failure keeps to one line.
  std::vector<std::string> shown = names;
  shown.push_back(input);
  shown.push_back(SplitFileName(input).Name);
  ClearProgress();
  std::fprintf(err_, "%s: %s\n", QuotedName(input).c_str(), OneLineMessage(message, shown).c_str());
  DrawProgress();
}

void TBatchReport::Skipped(std::size_t count) {
  const std::lock_guard lock(mutex_);
  skipped_ += count;
}

void TBatchReport::NoPictureFound() {
  const std::lock_guard lock(mutex_);
  nothingFound_ = true;
  if (finished_) return;
  ClearProgress();
  std::fprintf(err_, SNoPictureFound, skipped_);
  std::fputc('\n', err_);
}

bool TBatchReport::Finish() {
  const std::lock_guard lock(mutex_);
  if (!finished_) PrintSummary("");
  return failed_ == 0 && !nothingFound_;
}

bool TBatchReport::Interrupted(int signal) {
  const std::lock_guard lock(mutex_);
  if (finished_) return false;
  PrintSummary(signal == SIGINT ? ", stopped by SIGINT" : signal == SIGTERM ? ", stopped by SIGTERM" : ", stopped");
  return true;
}

void TBatchReport::PrintSummary(const char* ending) {
  finished_ = true;
  ClearProgress();
  if (summary_) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(err_, "%zu written, %zu kept, %zu skipped, %zu failed%s (%.1f s)\n", written_, kept_, skipped_,
                 failed_, ending, seconds);
  }
  std::fflush(err_);
}

void TBatchReport::DrawProgress() {
  if (!progress_) return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char head[64];
  std::snprintf(head, sizeof head, "%zu/%zu  %.1f s  ", written_ + kept_ + failed_, total_, seconds);
  // One column short of the width, so that the line never wraps and \r always returns to its start.
  const std::size_t width = TerminalColumns(err_) - 1;
  const std::size_t room = width > Columns(head) ? width - Columns(head) : 0;
  std::fprintf(err_, "\r%s%s\x1b[K", head, Tail(current_, room).c_str());
  std::fflush(err_);
  drawn_ = true;
}

void TBatchReport::ClearProgress() {
  if (!drawn_) return;
  std::fputs("\r\x1b[K", err_);
  drawn_ = false;
}
