#include "batch/memory_budget.h"

#include <cstdio>
#include <string>

#include "batch/messages.h"

namespace {

std::string Mebibytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", double(bytes) / double(1u << 20));
  return text;
}

}  // namespace

TMemoryBudget::THold::~THold() {
  if (budget_ != nullptr) budget_->Give(bytes_);
}

TMemoryBudget::THold TMemoryBudget::Take(std::uint64_t bytes) {
  if (bytes > budget_)
    throw EOverMemoryBudget(FormatMessage(FormatMessage(SOverMemoryBudget, Mebibytes(bytes)).c_str(), Mebibytes(budget_)));
  std::unique_lock lock(mutex_);
  // First come, first served: a large picture is not passed over for ever by smaller ones.
  const std::uint64_t ticket = nextTicket_++;
  changed_.wait(lock, [&] { return serving_ == ticket && used_ + bytes <= budget_; });
  ++serving_;
  used_ += bytes;
  changed_.notify_all();
  return THold(this, bytes);
}

void TMemoryBudget::Give(std::uint64_t bytes) {
  {
    const std::lock_guard lock(mutex_);
    used_ -= bytes;
  }
  changed_.notify_all();
}
