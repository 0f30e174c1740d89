// Help files and validation lists: their text form, their image, and the checks of vekhelp.
//
// An image is a sequence of records, each ended by one NUL byte, sorted in ascending byte order. A help
// record is four digits (its number), one separator and its text; a list record is one value, whole.
#ifndef VEKHELP_HELPFILE_H
#define VEKHELP_HELPFILE_H

#include <string>
#include <vector>

namespace vekhelp {

enum class Kind { Help, List };

struct Record {
  std::string text;  // the whole record, without its NUL
  int line;          // source line, or the record's position (1, 2, ...) in an image
};

struct Finding {
  int line;             // as in Record; 0 for the file as a whole
  bool error;           // error or warning
  std::string message;  // without location
};

struct File {
  std::string name;
  Kind kind = Kind::Help;
  bool image = false;             // read from an image rather than from text
  std::vector<Record> records;    // in the order of the file
  std::vector<Finding> findings;  // problems found while reading
};

// Reads a text source or an image (a file holding NUL bytes is an image). `forced` picks the kind;
// otherwise the extension (.help, .list) or the records themselves decide. false when the file
// cannot be read at all (the reason is in the findings).
bool read_file(const std::string &path, const Kind *forced, File *file);

// The image of a file's records: sorted, one NUL after each.
std::string make_image(const File &file);

// The text form of a file's records, one a line (list values that would read as comments or blank
// lines are escaped with a leading backslash). Records holding a line break cannot be written: false.
bool write_text(const File &file, std::string *text, std::string *error);

// Everything `vekhelp check` reports: what the file's reading found, then its order and duplicates, the
// records that the panel's search misses in its image, texts too long for where they are shown or read,
// and (with `fixed_records`) missing records that the panel shows by itself.
std::vector<Finding> check(const File &file, bool fixed_records);

}  // namespace vekhelp

#endif
