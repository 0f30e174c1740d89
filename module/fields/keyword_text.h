// Keyword texts (definition texts, SET_HEL operands, panel options), read into a buffer the caller
// gives: no terminal service and no module state, so vekhelp reads keywords with the same objects.
//
// A keyword is found at its first occurrence anywhere in the text; its value window is the `window`
// characters after it (kShortWindow or kLongWindow), copied into the buffer and split at ",", blank and
// "=", leading delimiters skipped. Tokens are views into the buffer, valid until it is written again.
#ifndef VEKPANEL_FIELDS_KEYWORD_TEXT_H
#define VEKPANEL_FIELDS_KEYWORD_TEXT_H

#include <cstddef>
#include <string_view>

namespace vek {

enum KeywordResult : int {
  kKeywordAbsent = 0,  // the keyword is not in the text
  kKeywordEmpty = 1,   // present, but its window holds no token
  kKeywordToken = 2,   // *token is the first token
};

// Reads the window of `keyword` in `text` into `buffer` (`size` bytes; at most size - 1 characters are
// kept, the copy stops at the text's end and the buffer is always ended by a NUL).
int read_keyword(const char *text, const char *keyword, std::size_t window, char *buffer, std::size_t size,
                 std::string_view *token);

// The token after `previous` in the same buffer; false when there is none.
bool next_keyword_token(const char *buffer, std::size_t size, std::string_view previous,
                        std::string_view *token);

}  // namespace vek

#endif
