// The record search over one data image, private to the field definitions. lookup_record and
// lookup_value ask _DataFile for the image and search it with these; the unit tests call them on images
// of their own.
#ifndef VEKPANEL_FIELDS_SEARCH_H
#define VEKPANEL_FIELDS_SEARCH_H

#include <optional>
#include <string_view>

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

// What lookup_record and lookup_value use: the span search, and the range search when that ends with
// none. Files of equal-length records get the span search's answers, and no record of a sorted file is
// missed. Both are logarithmic in the image size, so the two together are too.
std::optional<std::string_view> search_image(std::string_view image, std::string_view key, Match match,
                                             int *probes = nullptr);

}  // namespace vek

#endif
