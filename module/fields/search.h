// The record search over one data image: an image and a key in, a record out. It calls no terminal
// service and keeps no state, so vekhelp links the same objects to check files as the panel reads them;
// lookup_record and lookup_value (fields.h) ask _DataFile for the image and search it with these.
#ifndef VEKPANEL_FIELDS_SEARCH_H
#define VEKPANEL_FIELDS_SEARCH_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "fields/help_records.h"

namespace vek {

// How a key meets a record: Prefix compares the key's characters with as many first characters of the
// record (a shorter record compares its end as a NUL); Whole compares the whole record text.
enum class Match : unsigned char { Prefix, Whole };

// The classic probe sequence: halving a byte span, backing up to the record around each probe and
// narrowing the span by the length of the record just compared. Exact on files whose records all have
// one length; on mixed lengths it may end with none although the record is there. `probes`, when
// given, receives the number of records compared.
std::optional<std::string_view> span_search(std::string_view image, std::string_view key, Match match,
                                            int *probes = nullptr);

// Bisection of the byte range that can still hold the record: finds every record of a sorted image,
// whatever the lengths of its records.
std::optional<std::string_view> range_search(std::string_view image, std::string_view key, Match match,
                                             int *probes = nullptr);

// What the panel's lookups use: the span search, and the range search when that ends with none. Files
// of equal-length records get the span search's answers, and no record of a sorted file is missed.
// Both are logarithmic in the image size, so the two together are too.
std::optional<std::string_view> search_image(std::string_view image, std::string_view key, Match match,
                                             int *probes = nullptr);

// The key of help record `number`: the number in `width` digits (above 5 counting as 5) with leading
// zeros, written into `key`. A number that does not fit the width, or a negative one, has no key.
inline constexpr std::size_t kRecordKeySize = 5;
std::optional<std::string_view> record_key(std::int32_t number, std::uint8_t width,
                                           std::array<char, kRecordKeySize> *key);

// The help record `number` of an image: the record whose first `width` characters (above 5 counting as
// 5) are the number with leading zeros. A number that does not fit the width, or a negative one, has
// no key of its own and finds nothing.
std::optional<std::string_view> find_record(std::string_view image, std::int32_t number,
                                            std::uint8_t width = kNumberWidth);

// The record equal to the whole value.
std::optional<std::string_view> find_value(std::string_view image, std::string_view value);

}  // namespace vek

#endif
