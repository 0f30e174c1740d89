// `main` with any help file, any user variables, any timeline of keys and scans, and any sequence of
// reasons and records. Each call must return; the sanitizers catch what goes wrong on the way.
#include <string>
#include <vector>

#include "session.h"
#include "vekterm/vekterm.h"

namespace {

// Command names first, so that most records reach a handler; operands come from the input.
const char *const kCommands[] = {"DICOUNT ", "POPUPWN ", "COMPARE ", "CMP_INT ", "INTMATH ",
                                 "CHKUNIQ ", "TM_DATE ", "TRANMSG ", "V_DELAY ", "CLEAR_P",
                                 "SET_FIE ", "EXEC_PA ", "SET_HEL ", "WAIT_UV "};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  vekfuzz::Reader in(data, size);
  vekfuzz::fresh_session();

  std::vector<std::string> records;
  for (int n = in.byte() % 24; n > 0; --n)
    records.push_back(in.text(170));
  const std::string help = vekterm::make_image(records);
  vekterm::add_file("HELP.VAL", help);
  if (in.byte() & 1)
    vekterm::add_file("B_LIST.VAL", vekterm::make_image({in.text(20), in.text(20), in.text(20)}));
  for (int n = in.byte() % 12; n > 0; --n) {
    const int number = in.byte() % 100;
    vekterm::set_variable(number, in.text(170));
  }

  // Calls, each preceded by a few steps of the timeline.
  for (int calls = 0; calls < 40 && !in.empty(); ++calls) {
    for (int steps = in.byte() % 6; steps > 0; --steps)
      vekfuzz::timeline_step(in);
    const std::uint8_t reason = in.byte();
    if (reason % 8 < 5) {
      const std::string name = in.pick(kCommands);
      const std::string operands = in.text(180);
      // Mostly well-framed records, sometimes a length that disagrees with the text.
      std::string record = vekfuzz::record(name + operands);
      if (reason & 0x80) record[0] = static_cast<char>(in.byte());
      vekfuzz::call(3, record);
    } else {
      // The other reasons: 0 and 2 (unload, reset), 4 (trace), 5 (diagnostic screen), or any number.
      constexpr int kReasons[] = {0, 2, 4, 5};
      vekfuzz::call(reason % 8 == 7 ? reason / 8 : kReasons[(reason / 8) % 4], in.text(60));
    }
  }
  vekterm::headless::take_failures();  // a wait with nothing scripted is the input's doing, not a fault
  return 0;
}
