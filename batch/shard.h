#pragma once
// One part of a folder split over many runs (--shard K/N): a picture belongs to shard K when the
// 64-bit FNV-1a hash of its name, modulo N, is K. The name is the picture's path relative to the
// folder it was found in, or, for a file named on the command line, the name as given; so N runs
// with K = 0 .. N-1, on one machine or many, render every picture exactly once, whichever order
// they run in and wherever the folder is mounted.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TShard {
  std::uint64_t Index = 0;  // K, from 0 to Count - 1
  std::uint64_t Count = 1;  // N: 1 takes everything
};

// "K/N" with whole numbers, N at least 1 and K below N; nothing for anything else.
std::optional<TShard> ParseShard(const std::string& text);

// The 64-bit FNV-1a hash of the bytes.
std::uint64_t Fnv1a64(std::string_view bytes);

// Whether the picture of that name belongs to `shard`.
inline bool InShard(const TShard& shard, std::string_view name) { return Fnv1a64(name) % shard.Count == shard.Index; }
