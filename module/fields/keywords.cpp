// Keyword texts: find a keyword, copy its value window into the token buffer, split it into tokens.
#include <cstring>

#include "dispatch/dispatch.h"
#include "fields/fields.h"

namespace vek {
namespace {

bool delimiter(char ch) {
  return ch == ',' || ch == ' ' || ch == '=';
}

// First token at or after `from` in the token buffer; false when only delimiters are left.
bool token_from(std::size_t from, std::string_view *token) {
  const char *buffer = g_fields.token.data();
  std::size_t at = from;
  while (at < kTokenSize && buffer[at] != 0 && delimiter(buffer[at]))
    ++at;
  if (at >= kTokenSize || buffer[at] == 0) return false;
  std::size_t end = at;
  while (end < kTokenSize && buffer[end] != 0 && !delimiter(buffer[end]))
    ++end;
  *token = std::string_view(buffer + at, end - at);
  return true;
}

}  // namespace

int keyword_token(const char *text, const char *keyword, std::size_t window, std::string_view *token) {
  const char *found = text ? std::strstr(text, keyword) : nullptr;
  if (!found) return kKeywordAbsent;
  copy_text(g_fields.token.data(), g_fields.token.size(), found + std::strlen(keyword), window);
  return token_from(0, token) ? kKeywordToken : kKeywordEmpty;
}

bool next_token(std::string_view previous, std::string_view *token) {
  const char *buffer = g_fields.token.data();
  if (previous.data() < buffer || previous.data() >= buffer + kTokenSize) return false;
  return token_from(static_cast<std::size_t>(previous.data() - buffer) + previous.size(), token);
}

}  // namespace vek
