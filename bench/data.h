// Record sets shared by the benchmarks: one million sorted records, of one length or of mixed lengths,
// as the data image the module searches, and keys drawn from them.
#ifndef VEKPANEL_BENCH_DATA_H
#define VEKPANEL_BENCH_DATA_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vekbench {

struct RecordSet {
  std::string image;                    // records back to back, each ended by a NUL, sorted
  std::vector<std::string_view> index;  // each record's text, into `image`, in order
  std::vector<std::string_view> keys;   // present records in a random order, for lookups
  std::string key_bytes;                // the keys' own copies, NUL-ended: a caller's key is not the
                                        // record it finds, and reading it must not bring that record's
                                        // line into the cache
};

inline constexpr std::size_t kRecords = 1'000'000;

const RecordSet &equal_lengths();  // 12 digits each
const RecordSet &mixed_lengths();  // 4 to 24 letters and digits each

}  // namespace vekbench

#endif
