#include "data.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

namespace vekbench {
namespace {

RecordSet build(std::vector<std::string> records) {
  std::sort(records.begin(), records.end());
  records.erase(std::unique(records.begin(), records.end()), records.end());
  RecordSet set;
  std::size_t bytes = 0;
  for (const std::string &r : records)
    bytes += r.size() + 1;
  set.image.reserve(bytes);
  for (const std::string &r : records)
    set.image += r + '\0';
  set.index.reserve(records.size());
  for (std::size_t at = 0; at < set.image.size();) {
    const std::size_t end = set.image.find('\0', at);
    set.index.emplace_back(set.image.data() + at, end - at);
    at = end + 1;
  }
  std::mt19937_64 random(42);
  std::uniform_int_distribution<std::size_t> pick(0, set.index.size() - 1);
  std::vector<std::size_t> picked;
  for (int i = 0; i < 1 << 16; ++i) {
    const std::string_view record = set.index[pick(random)];
    picked.push_back(set.key_bytes.size());
    set.key_bytes.append(record).push_back('\0');
  }
  for (std::size_t at : picked)
    set.keys.emplace_back(set.key_bytes.data() + at, std::strlen(set.key_bytes.data() + at));
  return set;
}

}  // namespace

const RecordSet &equal_lengths() {
  static const RecordSet set = [] {
    std::vector<std::string> records;
    records.reserve(kRecords);
    char text[16];
    for (std::size_t i = 0; i < kRecords; ++i) {
      std::snprintf(text, sizeof text, "%012zu", i * 7919 + 104729);
      records.emplace_back(text);
    }
    return build(std::move(records));
  }();
  return set;
}

const RecordSet &mixed_lengths() {
  static const RecordSet set = [] {
    constexpr std::string_view kAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::size_t> length(4, 24), letter(0, kAlphabet.size() - 1);
    std::vector<std::string> records;
    records.reserve(kRecords);
    while (records.size() < kRecords) {
      std::string r(length(random), ' ');
      for (char &c : r)
        c = kAlphabet[letter(random)];
      records.push_back(std::move(r));
    }
    return build(std::move(records));
  }();
  return set;
}

}  // namespace vekbench
