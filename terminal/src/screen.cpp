// The 40x20 screen of cells, shared by every backend.
#include <cstring>

#include "dispatch/terminal.h"
#include "state.h"

namespace vekterm::detail {
namespace {

void changed() {
  if (terminal().backend && terminal().backend->screen_changed) terminal().backend->screen_changed();
}

// Calls fn(cell, index) for the part of a run of `count` cells from (row, col) that lies on the
// screen; everything outside it is ignored.
template <typename Fn>
void each_cell(int row, int col, int count, Fn fn) {
  if (row < 0 || row >= kRows || count <= 0) return;
  for (int i = 0; i < count; ++i) {
    const int c = col + i;
    if (c < 0) continue;
    if (c >= kColumns) break;
    fn(terminal().cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(c)], i);
  }
}

}  // namespace
}  // namespace vekterm::detail

using vekterm::detail::Cell;
using vekterm::detail::changed;
using vekterm::detail::each_cell;
using vekterm::detail::terminal;

extern "C" {

int _VioWrtCharStr(const char *text, int length, int row, int col, int *, int) {
  if (!text) return 1;
  each_cell(row, col, length, [&](Cell &cell, int i) { cell.ch = text[i]; });
  changed();
  return 0;
}

int _VioWrtCharStrAtt(const char *text, int length, int row, int col, int attribute, int *, int) {
  if (!text) return 1;
  each_cell(row, col, length, [&](Cell &cell, int i) {
    cell.ch = text[i];
    cell.attribute = static_cast<char>(attribute);
  });
  changed();
  return 0;
}

int _VioWrtNChar(int row, int col, char ch, int count, int *, int) {
  each_cell(row, col, count, [&](Cell &cell, int) { cell.ch = ch; });
  changed();
  return 0;
}

int _VioReadCellStr(char *cells, int count, int row, int col, int *, int) {
  if (!cells || count <= 0) return 1;
  // Cells off the screen read as blanks, so the caller's buffer is always filled.
  for (int i = 0; i < count; ++i) {
    cells[2 * i] = ' ';
    cells[2 * i + 1] = 0;
  }
  each_cell(row, col, count, [&](Cell &cell, int i) {
    cells[2 * i] = cell.ch;
    cells[2 * i + 1] = cell.attribute;
  });
  return 0;
}

int _VioWrtCellStr(const char *cells, int count, int row, int col, int *, int) {
  if (!cells) return 1;
  each_cell(row, col, count, [&](Cell &cell, int i) {
    cell.ch = cells[2 * i];
    cell.attribute = cells[2 * i + 1];
  });
  changed();
  return 0;
}

int _VioClear(void) {
  for (auto &line : terminal().cells)
    line.fill(Cell{});
  changed();
  return 0;
}

int _VioSetCurPos(int row, int col) {
  if (row < 0 || row >= vekterm::kRows || col < 0 || col >= vekterm::kColumns) return 1;
  terminal().cursor_row = row;
  terminal().cursor_column = col;
  changed();
  return 0;
}

int _VioGetCurPos(unsigned char *row, unsigned char *col) {
  if (row) *row = static_cast<unsigned char>(terminal().cursor_row);
  if (col) *col = static_cast<unsigned char>(terminal().cursor_column);
  return 0;
}

int _VioSetCurType(int type) {
  terminal().cursor_type = type;
  changed();
  return 0;
}

}  // extern "C"

namespace vekterm {

std::string screen_row(int row) {
  std::string out(kColumns, ' ');
  if (row < 0 || row >= kRows) return out;
  for (int c = 0; c < kColumns; ++c)
    out[static_cast<std::size_t>(c)] =
        terminal().cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(c)].ch;
  return out;
}

std::string attribute_row(int row) {
  std::string out(kColumns, '0');
  if (row < 0 || row >= kRows) return out;
  for (int c = 0; c < kColumns; ++c)
    out[static_cast<std::size_t>(c)] = static_cast<char>(
        '0' + terminal().cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(c)].attribute);
  return out;
}

std::string screen_text() {
  std::string out;
  for (int r = 0; r < kRows; ++r) {
    std::string line = screen_row(r);
    for (char &ch : line)
      if (static_cast<unsigned char>(ch) < 32 || static_cast<unsigned char>(ch) > 126) ch = '~';
    out += (r < 10 ? " " : "") + std::to_string(r) + " |" + line + "|\n";
  }
  return out;
}

int cursor_row() {
  return terminal().cursor_row;
}
int cursor_column() {
  return terminal().cursor_column;
}
int cursor_type() {
  return terminal().cursor_type;
}

}  // namespace vekterm
