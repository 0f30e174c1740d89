// Field definition texts through SET_FIE and panel option texts through EXEC_PA, from user variables
// and help records, then a run of the panel with a short timeline.
#include <string>
#include <vector>

#include "session.h"
#include "vekterm/vekterm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  vekfuzz::Reader in(data, size);
  vekfuzz::fresh_session();

  // Messages the panel shows by itself, so that validation reaches its checks.
  std::vector<std::string> help = {"0001 CHECKING", "0003 REFUSED",  "0008 FILL IN",    "0010 NOT HERE",
                                   "0011 TIME UP",  "0012 TOO LONG", "0016 PRESS ENTER"};
  std::vector<std::string> texts;
  for (int n = 1 + in.byte() % 21; n > 0; --n)
    texts.push_back(in.text(170));
  const std::string options = in.text(170);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    help.push_back("01" + std::string(1, char('0' + i / 10)) + char('0' + i % 10) + " " + texts[i]);
    vekterm::set_variable(static_cast<int>(20 + i), texts[i]);
  }
  help.push_back("0099 " + options);
  for (int n = in.byte() % 4; n > 0; --n)
    help.push_back(in.text(60));  // masks, bounds, lists
  vekterm::add_file("HELP.VAL", vekterm::make_image(help));
  vekterm::add_file("B_LIST.VAL", vekterm::make_image({"A1", "B2", "C3"}));
  vekterm::set_variable(19, options);

  vekfuzz::call(3, vekfuzz::record("CLEAR_P"));
  vekfuzz::call(3, vekfuzz::record("SET_HEL FILE=HELP.VAL"));
  const std::uint8_t sources = in.byte();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string number = std::to_string(((sources >> (i % 8)) & 1) ? 20 + i : 100 + i);
    vekfuzz::call(
        3, vekfuzz::record(((sources >> (i % 8)) & 1) ? "SET_FIE VAR=" + number : "SET_FIE HELP=" + number));
  }
  for (int steps = in.byte() % 16; steps > 0; --steps)
    vekfuzz::timeline_step(in);
  vekfuzz::call(3, vekfuzz::record(sources & 1 ? "EXEC_PA VAR=19" : "EXEC_PA HELP=99"));
  vekterm::headless::take_failures();
  return 0;
}
