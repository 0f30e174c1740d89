// The terminal services of libvekterm: which names of the data directory are served, when a file on
// disk is mapped again, the validation results, the journal line on disk; the headless terminal turns
// a module that polls without ever waiting into a reported stall, and then unwinds the module's key loops.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <thread>

#include "host/process.h"
#include "vekterm/vekterm.h"

namespace {

namespace fs = std::filesystem;

struct DataDirectory : ::testing::Test {
  void SetUp() override {
    vekterm::headless::reset();
    fs::create_directory(dir_);
    vekterm::set_data_directory(dir_.string());
  }
  void TearDown() override { vekterm::headless::reset(); }  // unmaps before the files go

  // Writes a file (in place, same inode) and, when given, gives it the modification time `seconds`.
  static void write(const fs::path &path, std::string_view bytes, time_t seconds = 0) {
    std::ofstream(path, std::ios::binary) << bytes;
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(seconds ? utimensat(AT_FDCWD, path.c_str(), times, 0) : 0, 0);
  }
  static std::string served(const char *name) {
    const char *address = nullptr;
    unsigned long length = 0;
    return _DataFile(name, &address, &length) != 0 ? "<refused>" : std::string(address, length);
  }

  vektest::Scratch root_;
  fs::path dir_ = root_.file("data");
};

TEST_F(DataDirectory, ServesPlainNamesInsideTheDirectoryOnly) {
  write(dir_ / "HELP.VAL", std::string("0001 text", 10));
  const std::string absolute = root_.write("secret", std::string("top\0", 4));
  fs::create_directory(dir_ / "sub");
  write(dir_ / "sub" / "inner", std::string("x\0", 2));
  for (const auto &[target, name] : {std::pair{"../secret", "up"},
                                     {absolute.c_str(), "absolute"},
                                     {"HELP.VAL", "alias"},
                                     {"sub/../../secret", "detour"}})
    fs::create_symlink(target, dir_ / name);
  ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0600), 0);

  EXPECT_EQ(served("HELP.VAL"), std::string("0001 text", 10));
  EXPECT_EQ(served("alias"), std::string("0001 text", 10));
  for (const char *name : {"up", "absolute", "detour", "../secret", "sub/inner", "sub", "..", ".", "",
                           absolute.c_str(), "HELP\n.VAL", "pipe", "missing"})
    EXPECT_TRUE(served(name) == "<refused>" && _Validation(name, '3', "top") == 4) << '"' << name << '"';
}

TEST_F(DataDirectory, AnUnchangedFileStaysMappedAndAChangedOneIsSeenAgain) {
  const fs::path list = dir_ / "LIST";
  write(list, std::string("AAA\0BBB\0", 8), 1000000000);
  const char *first = nullptr, *again = nullptr;
  unsigned long length = 0;
  ASSERT_EQ(_DataFile("LIST", &first, &length), 0);
  EXPECT_EQ(_Validation("LIST", '3', "AAA"), 0);
  ASSERT_EQ(_DataFile("LIST", &again, &length), 0);
  EXPECT_EQ(again, first) << "an unchanged file is served from the same mapping";

  // Same size and inode, new modification time: the index built for the old values must go.
  write(list, std::string("CCC\0DDD\0", 8), 1000000001);
  EXPECT_EQ(_Validation("LIST", '3', "CCC"), 0);
  EXPECT_EQ(_Validation("LIST", '3', "AAA"), 1);
  // Same size and time, another inode (replaced by a rename).
  write(dir_ / "LIST.new", std::string("EEE\0FFF\0", 8), 1000000001);
  fs::rename(dir_ / "LIST.new", list);
  EXPECT_EQ(served("LIST"), std::string("EEE\0FFF\0", 8));
  EXPECT_EQ(_Validation("LIST", '3', "FFF"), 0);
  // Same inode and time, another size.
  write(list, std::string("EEE\0FFF\0GGGG\0", 13), 1000000001);
  EXPECT_EQ(_Validation("LIST", '3', "GGGG"), 0);
  fs::remove(list);
  EXPECT_EQ(_Validation("LIST", '3', "EEE"), 4);
  EXPECT_EQ(served("LIST"), "<refused>");
}

// Another program cuts, rewrites, replaces and deletes a file while lookups run, the module's reads of
// the bytes handed over included: nothing crashes, every byte read is the file's or a NUL, and a value
// is found, not found, or the file reported missing or unended.
TEST_F(DataDirectory, AFileChangedDuringLookupsNeverCrashesThem) {
  // Values of different lengths in no order: the number i scrambled (one to one), the even ones only.
  // 7919 is odd, so every other number looked up was written.
  auto value = [](std::uint32_t i) { return std::to_string(std::uint32_t(i * 2654435761u)); };
  std::string image;
  for (std::uint32_t i = 0; i < 200000; i += 2)
    image += value(i) + '\0';
  const fs::path list = dir_ / "LIST", fresh = dir_ / "LIST.new";
  write(list, image);
  int passed = 0;
  for (std::uint32_t k = 0; k < 2000; ++k)
    passed += _Validation("LIST", '3', value(k * 7919 % 200000).c_str()) == 0;
  EXPECT_EQ(passed, 1000) << "before any change";
  std::jthread other([&](std::stop_token stop) {  // stopped and joined when the test ends
    for (int round = 0; !stop.stop_requested(); ++round) {
      if (round % 4 == 0) fs::resize_file(list, image.size() / std::size_t(2 + round % 5));
      if (round % 4 == 1) write(list, image);
      if (round % 4 == 2) write(fresh, image), fs::rename(fresh, list);
      if (round % 4 == 3) fs::remove(list), write(list, image);
    }
  });
  int wrong = 0;
  for (int lookup = 0; lookup < 2000; ++lookup) {
    const char *address = nullptr;
    unsigned long length = 0;
    if (_DataFile("LIST", &address, &length) == 0)
      for (unsigned long at = 0; at < length; at += 64)
        wrong += address[at] != image[at] && address[at] != 0;
    const int found = _Validation("LIST", '3', value(lookup * 2).c_str());
    wrong += found != 0 && found != 1 && found != 4 && found != 16;
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(DataDirectory, ValidationResults) {
  write(dir_ / "MIXED", std::string("zebra\0a\0\0middle-length value\0ab\0", 32));
  write(dir_ / "EMPTY", "");
  write(dir_ / "UNENDED", std::string("one\0two", 7));
  // clang-format off
  const std::tuple<const char *, char, const char *, int> cases[] = {
      {"MIXED", '3', "zebra", 0}, {"MIXED", '2', "zebra", 1}, {"MIXED", '3', "a", 0}, {"MIXED", '3', "ab", 0},
      {"MIXED", '3', "abc", 1}, {"MIXED", '2', "abc", 0}, {"MIXED", '3', "zebr", 1}, {"MIXED", '3', "", 0},
      {"MIXED", '3', "middle-length value", 0}, {"EMPTY", '3', "", 1}, {"EMPTY", '2', "x", 0},
      {"UNENDED", '3', "one", 16}, {"MIXED", '1', "zebra", 16}, {"NOFILE", '3', "x", 4}};
  // clang-format on
  for (const auto &[file, mode, value, result] : cases)
    EXPECT_EQ(_Validation(file, mode, value), result) << file << " mode " << mode << " \"" << value << '"';
}

// Each message is one line on disk when _TransactionMsg returns, even if the process dies right after.
TEST_F(DataDirectory, TheJournalHasALinePerMessageOnDiskAtOnce) {
  EXPECT_EQ(_TransactionMsg(1, 12, "12TRANMSG Y 42"), 0);
  vekterm::headless::delay(61000);
  vekterm::headless::key('x');
  _WaitEvent(0);  // the virtual clock moves to the key
  EXPECT_EQ(_TransactionMsg(0, 14, "14TRANMSG N\n\\\x01\xE9"), 0);
  EXPECT_EQ(vekterm::messages().at(1).record, "14TRANMSG N\n\\\x01\xE9");
  if (fork() == 0) _TransactionMsg(1, 10, "10TRANMSG "), kill(getpid(), SIGKILL);
  wait(nullptr);
  EXPECT_EQ(vektest::slurp(dir_ / "journal.log"),
            "2019-03-14 09:26:53 - 1 1 12TRANMSG Y 42\n"
            "2019-03-14 09:27:54 - 2 0 14TRANMSG N\\x0A\\x5C\\x01\\xE9\n"
            "2019-03-14 09:27:54 - 3 1 10TRANMSG \n");
  // With a terminal id, each terminal has its own file in the journal folder, made when missing.
  for (const char *bad : {".hidden", "a/b", "", "x y", "123456789012345678901234567890123"})
    EXPECT_EQ(vekterm::set_terminal_id(bad), *bad == 0) << bad;
  ASSERT_TRUE(vekterm::set_terminal_id("hh-07_A.1"));
  EXPECT_EQ(_TransactionMsg(1, 12, "12TRANMSG Y 43"), 0);
  vekterm::set_terminal_id("");
  EXPECT_EQ(vektest::slurp(dir_ / "journal" / "hh-07_A.1.log"),
            "2019-03-14 09:27:54 hh-07_A.1 1 1 12TRANMSG Y 43\n");
  // A failed write is reported, the message still logged in memory; with no journal it stays there.
  vekterm::set_journal((dir_ / "no-such-dir" / "journal.log").string());
  EXPECT_EQ(_TransactionMsg(1, 10, "10TRANMSG "), 1);
  EXPECT_NE(vekterm::journal_error().find("no-such-dir"), std::string::npos) << vekterm::journal_error();
  EXPECT_EQ(vekterm::messages().size(), 4u);
  vekterm::set_journal("");
  EXPECT_EQ(_TransactionMsg(1, 10, "10TRANMSG "), 0);
  EXPECT_EQ(vekterm::journal_error(), "");
  vekterm::set_data_directory("");
  EXPECT_EQ(vekterm::journal_path(), "") << "no data directory, no journal";
}

TEST(HeadlessTerminal, PollingWithoutWaitingIsAStallNotAHang) {
  vekterm::headless::reset();
  vekterm::headless::delay(1000);
  vekterm::headless::key('x');  // never due: no time passes while nothing waits
  unsigned short code = 0;
  for (long polls = 0; _KbdReadAscii(&code) != 0 && polls < 10000000; ++polls)
    _IdleManager(0);
  EXPECT_EQ(code, 256) << "after the stall the keyboard reads as Cancel";
  // Loops that read keys until none is left end after a key at most: no key, Enter, no key, Cancel, ...
  std::string drained;
  for (int loop = 0; loop < 3; ++loop) {
    for (int reads = 0; reads < 10 && _KbdReadAscii(&code) == 0; ++reads)
      drained += std::to_string(code) + ' ';
    drained += '|';
  }
  EXPECT_EQ(drained, "|13 |256 |");
  const std::vector<std::string> failures = vekterm::headless::take_failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("polling without waiting"), std::string::npos) << failures[0];
}

}  // namespace
