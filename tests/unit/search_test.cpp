// The search of help and verification files, on images held in buffers of their exact size, so that
// a read past the image shows under the address sanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "fields/search.h"
#include "vekterm/vekterm.h"

namespace {

using vek::Match;

class Image {
 public:
  // '|' stands for NUL when `bars` is set.
  explicit Image(std::string bytes, bool bars = false) {
    if (bars) std::replace(bytes.begin(), bytes.end(), '|', '\0');
    bytes_.assign(bytes.begin(), bytes.end());
  }
  std::string_view view() const { return {bytes_.data(), bytes_.size()}; }
  // The record lies inside the image, starts a record and ends at a NUL or at the image's end.
  bool holds(std::string_view r) const {
    const char *begin = bytes_.data(), *end = begin + bytes_.size();
    return r.data() >= begin && r.data() + r.size() <= end &&
           (r.data() + r.size() == end || r.data()[r.size()] == 0) &&
           (r.data() == begin || r.data()[-1] == 0);
  }

 private:
  std::vector<char> bytes_;  // allocated to the image's exact size
};

// A record number as its four digits (below 10000).
std::string number4(int n) {
  return std::to_string(10000 + n).substr(1);
}

// Help records for the even numbers 2, 4, ... 2*count; length(i) characters follow record i's number.
template <typename Length>
std::string help_image(int count, Length length) {
  std::vector<std::string> records;
  for (int n = 2; n <= 2 * count; n += 2)
    records.push_back(number4(n) +
                      std::string(static_cast<std::size_t>(length(n / 2 - 1)), char('a' + n % 26)));
  return vekterm::make_image(records);
}

// Every present number is found with its own record, every absent one (below, between, above) is not,
// and no search takes more than a logarithmic number of probes.
void expect_all_numbers(const std::string &bytes, int count, bool equal_lengths) {
  const Image image(bytes);
  for (int n = 0; n <= 2 * count + 1; ++n) {
    const std::string key = number4(n), what = "number " + key + " of " + std::to_string(count);
    int probes = 0;
    const auto found = vek::search_image(image.view(), key, Match::Prefix, &probes);
    ASSERT_EQ(found.has_value(), n % 2 == 0 && n > 0) << what;
    EXPECT_LE(probes, 2 * (static_cast<int>(std::bit_width(bytes.size())) + 2)) << what;
    EXPECT_TRUE(!found || (image.holds(*found) && found->substr(0, 4) == key)) << what;
    EXPECT_TRUE(!equal_lengths || vek::span_search(image.view(), key, Match::Prefix) == found) << what;
  }
}

TEST(SearchImage, EveryRecordIsFoundInFilesOfEqualAndMixedLengths) {
  for (int length : {0, 1, 5, 12})
    for (int count = 1; count <= 40; ++count)
      expect_all_numbers(help_image(count, [&](int) { return length; }), count, true);
  expect_all_numbers(help_image(2000, [](int) { return 7; }), 2000, true);
  unsigned seed = 12345;
  for (int count = 1; count <= 60; ++count) {
    std::vector<int> lengths;
    for (int i = 0; i < count; ++i)
      lengths.push_back(static_cast<int>(((seed = seed * 1103515245u + 12345u) >> 16) % (i % 3 ? 6 : 140)));
    expect_all_numbers(help_image(count, [&](int i) { return lengths[static_cast<std::size_t>(i)]; }), count,
                       false);
  }
  expect_all_numbers(help_image(3000, [](int i) { return i % 7 == 0 ? 1000 : i % 5; }), 3000, false);
  const Image long_first("0001 1234567|0002|0003|", true);
  EXPECT_FALSE(vek::span_search(long_first.view(), "0003", Match::Prefix)) << "the span search alone misses";
  EXPECT_EQ(vek::search_image(long_first.view(), "0003", Match::Prefix), "0003");
}

TEST(SearchImage, WholeValuesCompareAsUnsignedBytes) {
  const std::vector<std::string> values = {"A", "AB", "ABC", "ABD", "B", "Zebra", "a", "\xe9t\xe9", "\xff"};
  const Image image(vekterm::make_image(values));
  for (const std::string &v : values)
    EXPECT_EQ(vek::search_image(image.view(), v, Match::Whole), v);
  for (const char *absent : {"", "0", "AA", "ABCD", "AC", "Zeb", "b", "\xe9", "\xff\xff"})
    EXPECT_FALSE(vek::search_image(image.view(), absent, Match::Whole)) << absent;
  EXPECT_EQ(vek::search_image(Image("|A|B|", true).view(), "", Match::Whole), "");
}

// Keys of 1 to 40 characters (a word, two words, more) against neighbours that differ from them at each
// place in turn, are one character shorter or longer, or end where they hold a NUL: the comparison
// reads words of both, and must order them as byte-by-byte unsigned comparison does.
TEST(SearchImage, KeysDifferFromTheirNeighboursAtEveryPlace) {
  for (std::size_t length = 1; length <= 40; ++length) {
    std::string base;
    for (std::size_t i = 0; i < length; ++i)
      base += static_cast<char>('B' + i % 7);
    for (std::size_t at = 0; at < length; ++at) {
      // Below and above `base` at `at`, and the other way round after it: only the first difference counts.
      std::string lower = base, higher = base;
      for (std::size_t i = at; i < length; ++i) {
        lower[i] = i == at ? '0' : '\xf0';
        higher[i] = i == at ? '\xf0' : '0';
      }
      const std::vector<std::string> records = {base.substr(0, at), lower, base, base + "C", higher};
      const Image image(vekterm::make_image(records));
      const std::string what = "length " + std::to_string(length) + " at " + std::to_string(at);
      for (const std::string &r : records)
        EXPECT_EQ(vek::search_image(image.view(), r, Match::Whole), r) << what;
      std::string between = base;
      between[at] = '1';  // above `lower`, below `base`
      for (const std::string &absent : {between, base + "A", higher + "A", base.substr(0, at) + '\0'})
        EXPECT_FALSE(vek::search_image(image.view(), absent, Match::Whole)) << what;
      EXPECT_EQ(vek::search_image(image.view(), higher.substr(0, at + 1), Match::Prefix), higher) << what;
      EXPECT_FALSE(vek::search_image(image.view(), base + std::string(1, '\0'), Match::Prefix)) << what;
    }
  }
}

TEST(SearchImage, DamagedImagesAreReadOnlyWithinTheirBytes) {
  const std::string whole = help_image(9, [](int i) { return (i * 7) % 11; });
  for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
    const Image image(whole.substr(0, cut));
    for (int n = 0; n <= 20; ++n) {
      const auto found = vek::search_image(image.view(), number4(n), Match::Prefix);
      EXPECT_TRUE(!found || (image.holds(*found) && found->substr(0, 4) == number4(n))) << "cut " << cut;
    }
    EXPECT_FALSE(vek::search_image(image.view(), "", Match::Whole)) << "no empty record in it, cut " << cut;
  }
  for (const char *one : {"|", "0", "5", "\xff"}) {
    const Image image(one, true);
    EXPECT_FALSE(vek::search_image(image.view(), "0001", Match::Prefix)) << int(one[0]);
    EXPECT_FALSE(vek::search_image(image.view(), "5x", Match::Whole)) << int(one[0]);
  }
  const Image unterminated("0001 a|0002 b|0003 last", true);
  EXPECT_EQ(vek::search_image(unterminated.view(), "0003", Match::Prefix), "0003 last");
  EXPECT_FALSE(vek::search_image(unterminated.view(), "0004", Match::Prefix));
  EXPECT_FALSE(vek::search_image(Image("").view(), "", Match::Whole));
}

// The images that vekhelp checks, searched as the panel searches them: a sorted image of mixed lengths
// yields every record, one out of order loses a record, and keys are the number with leading zeros.
TEST(FindRecord, AnImageAndANumberGiveTheRecord) {
  const char *sorted = "0001 abcdefg|0002|0003|", *unsorted = "0002 b|0001 a|";
  const char *keys = "0001|00012 five|0012 twelve|0120 long|1200 more|";
  // The image, the number, the key width, the record found ("" for none).
  // clang-format off
  const std::tuple<const char *, std::int32_t, std::uint8_t, const char *> cases[] = {
      {sorted, 1, 4, "0001 abcdefg"}, {sorted, 2, 4, "0002"}, {sorted, 3, 4, "0003"}, {sorted, 4, 4, ""},
      {unsorted, 1, 4, "0001 a"}, {unsorted, 2, 4, ""}, {keys, 12, 4, "0012 twelve"}, {keys, 0, 4, ""},
      {keys, 12, 5, "00012 five"}, {keys, 12, 9, "00012 five"}, {keys, 120, 4, "0120 long"},
      {keys, 10000, 4, ""}, {keys, -12, 4, ""}};
  // clang-format on
  for (const auto &[bytes, number, width, record] : cases) {
    const Image image(bytes, true);
    const auto found = vek::find_record(image.view(), number, width);
    EXPECT_EQ(found.value_or(""), record) << bytes << " " << number;
    EXPECT_TRUE(!found || image.holds(*found));
  }
  EXPECT_EQ(vek::find_value(Image(vekterm::make_image({"A", "BB", "C"})).view(), "BB"), "BB");
}

}  // namespace
