// The installation's 8-bit code page: screen cells and help texts are bytes in it. The TTY shows each
// byte as its character and turns a typed character back into its byte.
#ifndef VEKTERM_CODEPAGE_H
#define VEKTERM_CODEPAGE_H

#include <string_view>

namespace vekterm::detail {

enum class CodePage { Latin1, Windows1252, Cp437, Cp850 };

// The code page named by `name` ("iso-8859-1", "windows-1252", "cp437", "cp850", and the usual
// spellings of each); false for a name it does not know.
bool parse_code_page(std::string_view name, CodePage *page);

// The Unicode character a byte stands for in the code page (bytes below 128 are ASCII; control
// characters map to themselves).
char32_t code_page_char(CodePage page, unsigned char byte);

// The byte that stands for a Unicode character in the code page, or -1 when the page has none.
int code_page_byte(CodePage page, char32_t ch);

}  // namespace vekterm::detail

#endif
