// What the fuzz targets that drive `main` share: the module linked in, its state cleared before every
// input (as a fresh load would leave it), and a reader that turns fuzz bytes into choices.
#ifndef VEKPANEL_FUZZ_SESSION_H
#define VEKPANEL_FUZZ_SESSION_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vekfuzz {

// The module's entry point, renamed in the fuzz build so that it does not meet the program's own main.
int call(int reason, const std::string &record);
// A record with its two length digits in front, as a host builds it.
std::string record(std::string_view rest);
// A fresh headless terminal and a module with the state a fresh load gives.
void fresh_session();

// Reads choices from the fuzz input front to back; past its end every choice is zero or empty.
class Reader {
 public:
  Reader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t word() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
  // A text up to the next byte 0xFF (not included) or the input's end, at most `limit` bytes.
  std::string text(std::size_t limit = 200);
  // One of the texts given, or a text of the input when the choice falls past them.
  template <std::size_t N>
  std::string pick(const char *const (&choices)[N]) {
    const std::size_t which = byte();
    return which < N ? choices[which] : text();
  }

 private:
  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Queues one step of the headless timeline chosen by the reader: a key, typed text, a scan, a delay, a
// stop request or a variable written by the terminal.
void timeline_step(Reader &in);

}  // namespace vekfuzz

#endif
