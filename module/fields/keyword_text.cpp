// Keyword texts: find a keyword, copy its value window into the caller's buffer, split it into tokens.
#include "fields/keyword_text.h"

#include <cstring>

namespace vek {
namespace {

bool delimiter(char ch) {
  return ch == ',' || ch == ' ' || ch == '=';
}

// First token at or after `from` in the buffer; false when only delimiters are left.
bool token_from(const char *buffer, std::size_t size, std::size_t from, std::string_view *token) {
  std::size_t at = from;
  while (at < size && buffer[at] != 0 && delimiter(buffer[at]))
    ++at;
  if (at >= size || buffer[at] == 0) return false;
  std::size_t end = at;
  while (end < size && buffer[end] != 0 && !delimiter(buffer[end]))
    ++end;
  *token = std::string_view(buffer + at, end - at);
  return true;
}

}  // namespace

int read_keyword(const char *text, const char *keyword, std::size_t window, char *buffer, std::size_t size,
                 std::string_view *token) {
  if (size == 0) return kKeywordEmpty;
  const char *found = text ? std::strstr(text, keyword) : nullptr;
  if (!found) return kKeywordAbsent;
  const char *value = found + std::strlen(keyword);
  const std::size_t most = window < size - 1 ? window : size - 1;
  std::size_t n = 0;
  for (; n < most && value[n] != 0; ++n)
    buffer[n] = value[n];
  buffer[n] = 0;
  return token_from(buffer, size, 0, token) ? kKeywordToken : kKeywordEmpty;
}

bool next_keyword_token(const char *buffer, std::size_t size, std::string_view previous,
                        std::string_view *token) {
  if (previous.data() < buffer || previous.data() >= buffer + size) return false;
  return token_from(buffer, size, static_cast<std::size_t>(previous.data() - buffer) + previous.size(),
                    token);
}

}  // namespace vek
