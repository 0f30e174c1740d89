// Keyword texts of the field commands and the panel: read with keyword_text.h into the token buffer.
#include "dispatch/dispatch.h"
#include "fields/fields.h"
#include "fields/help_records.h"
#include "fields/keyword_text.h"

namespace vek {

// A definition text is read from the work buffer, which holds it with its NUL.
static_assert(kDefinitionTextLength + 1 == static_cast<std::size_t>(kWorkSize));

int keyword_token(const char *text, const char *keyword, std::size_t window, std::string_view *token) {
  return read_keyword(text, keyword, window, g_fields.token.data(), g_fields.token.size(), token);
}

bool next_token(std::string_view previous, std::string_view *token) {
  return next_keyword_token(g_fields.token.data(), g_fields.token.size(), previous, token);
}

}  // namespace vek
