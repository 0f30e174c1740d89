// Data directory and validation files of the terminal services: which names are served, when a file
// on disk is mapped again, and the validation results, including a file of millions of values.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "dispatch/terminal.h"
#include "vekterm/vekterm.h"

namespace {

namespace fs = std::filesystem;

class DataDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    vekterm::headless::reset();
    std::string pattern = (fs::temp_directory_path() / "vekterm-files-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    dir_ = root_ / "data";
    fs::create_directory(dir_);
    vekterm::set_data_directory(dir_.string());
  }
  void TearDown() override {
    vekterm::headless::reset();  // unmaps before the files go
    fs::remove_all(root_);
  }

  static void write(const fs::path &path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
  }
  // Rewrites a file in place (same inode) and gives it the modification time `seconds`.
  static void rewrite(const fs::path &path, std::string_view bytes, time_t seconds) {
    write(path, bytes);
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  static std::string served(const char *name) {
    const char *address = nullptr;
    unsigned long length = 0;
    if (_DataFile(name, &address, &length) != 0) return "<refused>";
    return std::string(address, length);
  }

  fs::path root_, dir_;
};

TEST_F(DataDirectory, ServesPlainNamesInsideTheDirectoryOnly) {
  write(dir_ / "HELP.VAL", std::string("0001 text", 10));
  write(root_ / "secret", std::string("top\0", 4));
  fs::create_directory(dir_ / "sub");
  write(dir_ / "sub" / "inner", std::string("x\0", 2));
  fs::create_symlink("../secret", dir_ / "up");
  fs::create_symlink(root_ / "secret", dir_ / "absolute");
  fs::create_symlink("HELP.VAL", dir_ / "alias");
  fs::create_symlink("sub/../../secret", dir_ / "detour");
  ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0600), 0);

  const std::string absolute = (root_ / "secret").string();
  struct Case {
    const char *name;
    bool served;
  };
  for (const Case &c :
       {Case{"HELP.VAL", true}, Case{"alias", true}, Case{"up", false}, Case{"absolute", false},
        Case{"detour", false}, Case{"../secret", false}, Case{"sub/inner", false}, Case{"sub", false},
        Case{"..", false}, Case{".", false}, Case{"", false}, Case{absolute.c_str(), false},
        Case{"HELP\n.VAL", false}, Case{"pipe", false}, Case{"missing", false}}) {
    EXPECT_EQ(served(c.name) != "<refused>", c.served) << '"' << c.name << '"';
    EXPECT_EQ(_Validation(c.name, '3', "top") == 4, !c.served) << '"' << c.name << '"';
  }
  EXPECT_EQ(served("alias"), std::string("0001 text", 10));
}

TEST_F(DataDirectory, AnUnchangedFileStaysMappedAndAChangedOneIsSeenAgain) {
  const fs::path list = dir_ / "LIST";
  rewrite(list, std::string("AAA\0BBB\0", 8), 1000000000);
  const char *first = nullptr, *again = nullptr;
  unsigned long length = 0;
  ASSERT_EQ(_DataFile("LIST", &first, &length), 0);
  EXPECT_EQ(_Validation("LIST", '3', "AAA"), 0);
  ASSERT_EQ(_DataFile("LIST", &again, &length), 0);
  EXPECT_EQ(again, first) << "an unchanged file is served from the same mapping";

  // Same size and inode, new modification time: the index built for the old values must go.
  rewrite(list, std::string("CCC\0DDD\0", 8), 1000000001);
  EXPECT_EQ(_Validation("LIST", '3', "CCC"), 0);
  EXPECT_EQ(_Validation("LIST", '3', "AAA"), 1);

  // Same size and time, another inode (replaced by a rename).
  rewrite(dir_ / "LIST.new", std::string("EEE\0FFF\0", 8), 1000000001);
  fs::rename(dir_ / "LIST.new", list);
  EXPECT_EQ(served("LIST"), std::string("EEE\0FFF\0", 8));
  EXPECT_EQ(_Validation("LIST", '3', "FFF"), 0);

  // Same inode and time, another size.
  rewrite(list, std::string("EEE\0FFF\0GGGG\0", 13), 1000000001);
  EXPECT_EQ(_Validation("LIST", '3', "GGGG"), 0);

  fs::remove(list);
  EXPECT_EQ(_Validation("LIST", '3', "EEE"), 4);
  EXPECT_EQ(served("LIST"), "<refused>");
}

// Another program cuts, rewrites, replaces and deletes a file while lookups run, the module's reads of
// the bytes handed over included: nothing crashes, every byte read is the file's or a NUL, and a value
// is found, not found, or the file reported missing or unended.
TEST_F(DataDirectory, AFileChangedDuringLookupsNeverCrashesThem) {
  std::string image;
  for (int i = 0; i < 40000; ++i)
    image += std::to_string(1000000 + i) + '\0';
  const fs::path list = dir_ / "LIST", fresh = dir_ / "LIST.new";
  write(list, image);
  std::atomic<bool> done{false};
  std::thread other([&] {
    for (int round = 0; !done; ++round) {
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
    const int found = _Validation("LIST", '3', "1039999");
    wrong += found != 0 && found != 1 && found != 4 && found != 16;
  }
  done = true;
  other.join();
  EXPECT_EQ(wrong, 0);
}

TEST_F(DataDirectory, AOneGibibyteFileIsHandedOverMappedNotCopied) {
  std::ofstream(dir_ / "HUGE").close();
  fs::resize_file(dir_ / "HUGE", std::uintmax_t(1) << 30);  // sparse
  const char *address = nullptr;
  unsigned long length = 0;
  ASSERT_EQ(_DataFile("HUGE", &address, &length), 0);
  EXPECT_EQ(length, 1ul << 30);
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line) && line.find((dir_ / "HUGE").string()) == std::string::npos) {
  }
  EXPECT_EQ(std::strtoul(line.c_str(), nullptr, 16), reinterpret_cast<unsigned long>(address))
      << "the bytes handed over are the file's own mapping: " << line;
}

TEST_F(DataDirectory, ValidationResults) {
  write(dir_ / "MIXED", std::string("zebra\0a\0\0middle-length value\0ab\0", 32));
  write(dir_ / "EMPTY", "");
  write(dir_ / "UNENDED", std::string("one\0two", 7));
  struct Case {
    const char *file;
    char mode;
    const char *value;
    int result;
  };
  for (const Case &c :
       {Case{"MIXED", '3', "zebra", 0}, Case{"MIXED", '2', "zebra", 1}, Case{"MIXED", '3', "a", 0},
        Case{"MIXED", '3', "ab", 0}, Case{"MIXED", '3', "abc", 1}, Case{"MIXED", '2', "abc", 0},
        Case{"MIXED", '3', "zebr", 1}, Case{"MIXED", '3', "middle-length value", 0},
        Case{"MIXED", '3', "", 0}, Case{"EMPTY", '3', "", 1}, Case{"EMPTY", '2', "x", 0},
        Case{"UNENDED", '3', "one", 16}, Case{"MIXED", '1', "zebra", 16}, Case{"NOFILE", '3', "x", 4}})
    EXPECT_EQ(_Validation(c.file, c.mode, c.value), c.result)
        << c.file << " mode " << c.mode << " \"" << c.value << '"';
}

#if defined(__SANITIZE_ADDRESS__)
constexpr int kLargeCount = 1000000;
#else
constexpr int kLargeCount = 10000000;
#endif

TEST_F(DataDirectory, ALargeValidationFileAnswersInMicroseconds) {
  // Values of different lengths in no order: the number i scrambled (one to one), in decimal.
  auto value = [](std::uint32_t i) { return std::to_string(std::uint32_t(i * 2654435761u)); };
  std::string image;
  for (int i = 0; i < 2 * kLargeCount; i += 2)  // the even numbers only
    image += value(std::uint32_t(i)) + '\0';
  write(dir_ / "BIG", image);

  using Clock = std::chrono::steady_clock;
  ASSERT_EQ(_Validation("BIG", '3', value(0).c_str()), 0);  // the first call builds the index

  constexpr int kCalls = 20000;
  std::vector<std::string> values;
  for (int k = 0; k < kCalls; ++k)
    values.push_back(value(std::uint32_t((k * 7919) % (2 * kLargeCount))));
  int passed = 0;
  const auto start = Clock::now();
  for (int k = 0; k < kCalls; ++k)
    passed += _Validation("BIG", '3', values[std::size_t(k)].c_str()) == 0;
  const double each_us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kCalls;
  EXPECT_EQ(passed, kCalls / 2) << "7919 is odd, so every other number was written";
  EXPECT_LT(each_us, 100.0) << "microseconds per call, after the first";
}

}  // namespace
