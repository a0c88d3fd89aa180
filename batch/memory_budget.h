#pragma once
// The memory that the pictures being decoded at once may take, shared by the jobs of a run. Each
// picture takes its share before it is decoded and gives it back when it is done; a picture that
// does not fit beside the others waits, in the order the pictures asked.
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "toolkit/errors.h"

// A picture that alone needs more than the whole budget: waiting would never help.
class EOverMemoryBudget : public Exception {
 public:
  using Exception::Exception;
};

class TMemoryBudget {
 public:
  explicit TMemoryBudget(std::uint64_t bytes) : budget_(bytes) {}

  // A share taken from the budget, given back when it ends.
  class THold {
   public:
    THold(THold&& other) noexcept : budget_(other.budget_), bytes_(other.bytes_) { other.budget_ = nullptr; }
    THold(const THold&) = delete;
    THold& operator=(const THold&) = delete;
    THold& operator=(THold&&) = delete;
    ~THold();

   private:
    friend class TMemoryBudget;
    THold(TMemoryBudget* budget, std::uint64_t bytes) : budget_(budget), bytes_(bytes) {}
    TMemoryBudget* budget_;
    std::uint64_t bytes_;
  };

  // Waits until `bytes` fit beside the shares others hold and every earlier request was served,
  // then holds them. Throws EOverMemoryBudget, at once, for more bytes than the whole budget.
  THold Take(std::uint64_t bytes);

  std::uint64_t Budget() const { return budget_; }

 private:
  void Give(std::uint64_t bytes);

  const std::uint64_t budget_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t used_ = 0;
  std::uint64_t nextTicket_ = 0, serving_ = 0;
};
