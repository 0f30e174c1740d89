#include "session.h"

#include "dispatch/state.h"
#include "vekterm/vekterm.h"

extern "C" int vekpanel_fuzz_main(int reason, const char *record);

namespace vekfuzz {

int call(int reason, const std::string &record) {
  return vekpanel_fuzz_main(reason, record.c_str());
}

std::string record(std::string_view rest) {
  const std::size_t n = rest.size() % 100;
  std::string out;
  out += static_cast<char>('0' + n / 10);
  out += static_cast<char>('0' + n % 10);
  out += rest;
  return out;
}

void fresh_session() {
  vekterm::headless::reset();
  vekterm::headless::set_stall_limit_ms(10000);
  vek::reset_module_state();
}

std::string Reader::text(std::size_t limit) {
  std::string out;
  while (at_ < size_ && data_[at_] != 0xFF && out.size() < limit)
    out += static_cast<char>(data_[at_++]);
  if (at_ < size_ && data_[at_] == 0xFF) ++at_;
  return out;
}

namespace {
constexpr std::uint16_t kKeys[] = {vekterm::key::Enter,
                                   vekterm::key::Cancel,
                                   vekterm::key::Previous,
                                   vekterm::key::Ok,
                                   vekterm::key::Clear,
                                   vekterm::key::Backspace,
                                   vekterm::key::Next,
                                   vekterm::key::Left,
                                   vekterm::key::Right,
                                   vekterm::key::Help,
                                   '0',
                                   'A'};
}

void timeline_step(Reader &in) {
  namespace script = vekterm::headless;
  switch (in.byte() % 8) {
    case 0: {
      const std::uint8_t which = in.byte();
      script::key(which < std::size(kKeys) ? kKeys[which] : in.word());
      break;
    }
    case 1:
      script::text(in.text(40));
      break;
    case 2:
      script::scan(in.text(80), in.byte());
      break;
    case 3:
      script::raw_scan(in.text(90));
      break;
    case 4:
      script::delay(in.word() * 10);
      break;
    case 5:
      script::host_stop();
      break;
    case 6:
      script::write_variable(in.byte() % 100, in.text(170));
      break;
    default:
      script::snapshot();
      break;
  }
}

}  // namespace vekfuzz
