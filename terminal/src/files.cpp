// Data files and validation files: served by plain name from memory or from the data directory.
//
// Directory files are mapped read-only and stay mapped between calls; each call checks the file's
// size, modification time and inode and maps it again when one of them changed, so an unchanged file
// is never read again, and the first lookup in a large file costs no more than a small one.
//
// Another program may cut a file shorter in place while it is mapped (truncate it, or rewrite it
// through O_TRUNC); reading a page past its new end then raises SIGBUS. The module reads the bytes
// after _DataFile has returned, so no check made here before handing them over closes that window, and
// copying each file instead would make the first lookup read all of it. So mappings are guarded: a
// SIGBUS handler that finds the faulting address inside a mapping of this library maps anonymous zero
// pages from the faulting page to the mapping's end, and the read goes on. The lookup sees NUL bytes
// where the file was cut, in which no record or value is found: it answers from what it still had
// or finds nothing. The repaired mapping is marked and the next lookup maps the file again. Faults
// anywhere else go on to the handler installed before. Files are best replaced by writing a new one
// and renaming it over the old: a lookup then keeps reading the old one, whole.
#include <fcntl.h>
#include <linux/openat2.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "dispatch/terminal.h"
#include "state.h"

namespace vekterm::detail {
namespace {

// The mappings the SIGBUS handler may repair. Fixed in size and read with atomics only, so that the
// handler takes no lock and allocates nothing. Lookups run on one thread: a mapping is not released
// while another thread reads it.
struct Guard {
  std::atomic<std::uintptr_t> begin{0};  // 0: a free entry
  std::atomic<std::size_t> length{0};    // whole pages
  std::atomic<bool> repaired{false};
};
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

constexpr std::size_t kGuards = 256;  // mappings kept at once
std::array<Guard, kGuards> g_guards;
struct sigaction g_previous_bus {};
std::uintptr_t g_page = 4096;

void on_bus_error(int signal, siginfo_t *info, void *context) {
  const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (Guard &guard : g_guards) {
    const std::uintptr_t begin = guard.begin.load();
    if (info->si_code <= 0 || begin == 0 || at < begin || at - begin >= guard.length.load()) continue;
    const std::uintptr_t page = at & ~(g_page - 1);
    if (mmap(reinterpret_cast<void *>(page), begin + guard.length.load() - page, PROT_READ,
             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED)
      break;
    guard.repaired.store(true);
    return;
  }
  // Not a mapping of ours. Under the default action (or an ignored fault) the process ends as it would
  // have without this handler: a fault comes again on return, a signal that was sent is raised again.
  const struct sigaction &previous = g_previous_bus;
  if ((previous.sa_flags & SA_SIGINFO) != 0) {
    previous.sa_sigaction(signal, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
  } else if (previous.sa_handler == SIG_DFL || info->si_code > 0) {
    struct sigaction fatal {};
    fatal.sa_handler = SIG_DFL;
    sigaction(SIGBUS, &fatal, nullptr);
    if (info->si_code <= 0) raise(signal);
  }
}

// The guard entry for a new mapping, installing the handler on first use; -1 when the table is full.
int guard(const char *address, std::size_t size) {
  static const bool installed = [] {
    g_page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = on_bus_error;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    return sigaction(SIGBUS, &action, &g_previous_bus) == 0;
  }();
  if (!installed) return -1;
  for (std::size_t i = 0; i < kGuards; ++i) {
    if (g_guards[i].begin.load() != 0) continue;
    g_guards[i].repaired.store(false);
    g_guards[i].length.store((size + g_page - 1) & ~(g_page - 1));
    g_guards[i].begin.store(reinterpret_cast<std::uintptr_t>(address));
    return static_cast<int>(i);
  }
  return -1;
}

bool repaired(const Mapping &m) {
  return m.guard >= 0 && g_guards[static_cast<std::size_t>(m.guard)].repaired.load();
}

}  // namespace

Mapping::~Mapping() {
  unmap();
}

void Mapping::unmap() {
  if (guard >= 0) g_guards[static_cast<std::size_t>(guard)].begin.store(0);  // before the pages go
  guard = -1;
  if (address) munmap(const_cast<char *>(address), size);
  address = nullptr;
  size = 0;
  index = {};
}

// A plain name stays inside the data directory: no separators, no parent or current directory, no
// control characters, not empty.
bool plain_name(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find("..") != std::string_view::npos) return false;
  for (char ch : name) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '/' || ch == '\\' || byte < 32 || byte == 127) return false;
  }
  return true;
}

void close_data_directory() {
  Terminal &t = terminal();
  t.mapped.clear();
  if (t.directory_fd >= 0) close(t.directory_fd);
  t.directory_fd = -1;
}

namespace {

int directory() {
  Terminal &t = terminal();
  if (t.directory_fd < 0 && !t.data_directory.empty())
    t.directory_fd = open(t.data_directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  return t.directory_fd;
}

// Where openat2 is missing (or filtered away), every link of the path is resolved first and only a
// result below the directory is opened; its last component is then no link any more.
int open_resolved_inside(const std::string &name) {
  const std::string &dir = terminal().data_directory;
  char dir_real[PATH_MAX], file_real[PATH_MAX];
  if (!realpath(dir.c_str(), dir_real) || !realpath((dir + "/" + name).c_str(), file_real)) return -1;
  const std::size_t n = std::strlen(dir_real);
  const bool inside = std::strncmp(file_real, dir_real, n) == 0 && (file_real[n] == '/' || n == 1);
  if (!inside) return -1;
  return open(file_real, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
}

// Opens a plain name of the data directory for reading; a path that leaves the directory through a
// link (absolute links included) is refused. -1 when it can't be opened. O_NONBLOCK: a FIFO in the
// directory must not hold the open up; only regular files are served anyway.
int open_inside(const std::string &name) {
  const int dir = directory();
  if (dir < 0) return -1;
  open_how how{};
  how.flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const long fd = syscall(SYS_openat2, dir, name.c_str(), &how, sizeof how);
  if (fd >= 0) return static_cast<int>(fd);
  if (errno == ENOSYS || errno == EPERM) return open_resolved_inside(name);
  return -1;
}

std::int64_t mtime_of(const struct stat &st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool same_file(const Mapping &m, const struct stat &st) {
  return S_ISREG(st.st_mode) && m.size == static_cast<std::size_t>(st.st_size) && m.inode == st.st_ino &&
         m.device == st.st_dev && m.mtime_ns == mtime_of(st);
}

bool serve(Mapping &m, Image *image) {
  image->bytes = m.address ? std::string_view(m.address, m.size) : std::string_view("", 0);
  image->index = &m.index;
  return true;
}

// Maps the open file as `st` describes it, in place of what `m` held. False when it cannot be mapped.
bool map_file(Mapping &m, int fd, const struct stat &st) {
  m.unmap();
  const auto size = static_cast<std::size_t>(st.st_size);
  if (size > 0) {
    void *bytes = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (bytes == MAP_FAILED) return false;
    // Lookups bisect the file: each touches a few pages far apart, and the kernel's usual read-ahead
    // would read megabytes around every one of them on a file not in the page cache yet.
    madvise(bytes, size, MADV_RANDOM);
    m.address = static_cast<const char *>(bytes);
    m.size = size;
    if ((m.guard = guard(m.address, size)) < 0) {
      m.unmap();
      return false;
    }
  }
  m.size = size;
  m.device = st.st_dev;
  m.inode = st.st_ino;
  m.mtime_ns = mtime_of(st);
  return true;
}

bool map_directory_file(std::string_view name, Image *image) {
  Terminal &t = terminal();
  const std::string file(name);
  struct stat st {};
  // One system call when the name still leads to the very file mapped before: that file was found
  // inside the directory, so serving it again shows nothing new, whatever the path looks like now.
  const auto known = t.mapped.find(name);
  if (known != t.mapped.end() && !repaired(known->second) && directory() >= 0 &&
      fstatat(directory(), file.c_str(), &st, 0) == 0 && same_file(known->second, st))
    return serve(known->second, image);

  const int fd = open_inside(file);
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) close(fd);
    if (known != t.mapped.end()) t.mapped.erase(known);
    return false;
  }
  // Every mapping holds a guard entry: when they are all taken, the others go (they are mapped again
  // on their next lookup; an image is borrowed for one lookup only).
  if (known == t.mapped.end() && t.mapped.size() >= kGuards) t.mapped.clear();
  const auto [it, fresh] = t.mapped.try_emplace(file);
  Mapping &m = it->second;
  if (fresh || repaired(m) || !same_file(m, st)) {
    // Looked at again once mapped: a file cut or rewritten meanwhile is mapped once more.
    struct stat now {};
    if (!map_file(m, fd, st) || (fstat(fd, &now) == 0 && !same_file(m, now) && !map_file(m, fd, now))) {
      close(fd);
      t.mapped.erase(it);
      return false;
    }
  }
  close(fd);
  return serve(m, image);
}

std::uint64_t hash_of(std::string_view text) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a, then a final mix for the low bits
  for (char ch : text)
    h = (h ^ static_cast<unsigned char>(ch)) * 1099511628211ull;
  h ^= h >> 32;
  h *= 0xd6e8feb86659fd93ull;
  return h ^ (h >> 32);
}

// Offsets are kept in 32 bits; a larger image is searched record by record instead.
constexpr std::size_t kIndexedLimit = 0xffffffffu;

// True when the record at `at` (a NUL-terminated one, or cut by the image's end) is `value`.
bool record_is(std::string_view image, std::size_t at, std::string_view value) {
  return image.size() - at > value.size() && image[at + value.size()] == '\0' &&
         std::memcmp(image.data() + at, value.data(), value.size()) == 0;
}

// A record that is there already is not added again, so that many equal records (empty ones above
// all) do not pile up in one probe sequence. The image may change while this runs (a file cut under
// its mapping reads as NULs from there on): at most as many records are added as were counted, and an
// unended last record ends the pass.
void build_index(std::string_view image, ValueIndex &index) {
  const auto records = static_cast<std::size_t>(std::count(image.begin(), image.end(), '\0'));
  std::size_t slots = 16;
  while (slots < records + records / 3 + 1)
    slots <<= 1;
  index.slots.assign(slots, 0);
  const std::size_t mask = slots - 1;
  std::size_t added = 0;
  for (std::size_t at = 0; at < image.size() && added < records;) {
    const std::size_t end = image.find('\0', at);
    if (end == std::string_view::npos) break;
    const std::string_view record = image.substr(at, end - at);
    std::size_t h = hash_of(record) & mask;
    while (index.slots[h] != 0 && !record_is(image, index.slots[h] - 1, record))
      h = (h + 1) & mask;
    if (index.slots[h] == 0) index.slots[h] = static_cast<std::uint32_t>(at + 1), ++added;
    at = end + 1;
  }
  index.built = true;
}

// A mapped image is read from end to end while its index is built or it is scanned: read-ahead helps
// then, and is turned off again afterwards for the lookups (a memory file ignores the advice).
struct InOrder {
  void *start;
  std::size_t length;
  explicit InOrder(std::string_view image) {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto at = reinterpret_cast<std::uintptr_t>(image.data());
    start = reinterpret_cast<void *>(at & ~(page - 1));
    length = image.size() + (at & (page - 1));
    madvise(start, length, MADV_SEQUENTIAL);
  }
  ~InOrder() { madvise(start, length, MADV_RANDOM); }
};

// The image was seen to end with a NUL, so every record is NUL-terminated (unless it changes meanwhile).
bool holds(std::string_view image, ValueIndex &index, std::string_view value) {
  if (image.size() >= kIndexedLimit) {
    const InOrder reading(image);
    for (std::size_t at = 0; at < image.size();) {
      const std::size_t end = image.find('\0', at);
      if (image.substr(at, end - at) == value) return true;
      if (end == std::string_view::npos) break;
      at = end + 1;
    }
    return false;
  }
  if (!index.built) {
    const InOrder reading(image);
    build_index(image, index);
  }
  const std::size_t mask = index.slots.size() - 1;
  for (std::size_t h = hash_of(value) & mask; index.slots[h] != 0; h = (h + 1) & mask)
    if (record_is(image, index.slots[h] - 1, value)) return true;
  return false;
}

}  // namespace

bool find_file(std::string_view name, Image *image) {
  Terminal &t = terminal();
  if (!plain_name(name)) return false;
  if (auto it = t.memory_files.find(name); it != t.memory_files.end()) {
    image->bytes = it->second.bytes;
    image->index = &it->second.index;
    return true;
  }
  if (t.data_directory.empty()) return false;
  return map_directory_file(name, image);
}

}  // namespace vekterm::detail

using vekterm::detail::find_file;
using vekterm::detail::Image;
using vekterm::detail::terminal;

extern "C" {

// 0 image handed over; 1 missing argument; 2 the file is not available.
int _DataFile(const char *name, const char **address, unsigned long *length) {
  if (!name || !address || !length) return 1;
  Image image;
  if (!find_file(name, &image)) return 2;
  *address = image.bytes.data();
  *length = image.bytes.size();
  return 0;
}

// A validation image holds one value per NUL-terminated record, in any order. Mode '3' passes a value
// that is present, mode '2' one that is absent. 4: the file is missing or unreadable; 16: it does not
// end with its NUL, or the mode is unknown. The first call on an image builds its index; later calls
// cost one hash probe or a few.
int _Validation(const char *file, char mode, const char *value) {
  if (!file || !value) return 16;
  if (auto it = terminal().forced_validation.find(std::string_view(file));
      it != terminal().forced_validation.end())
    return it->second;
  Image image;
  if (!find_file(file, &image)) return 4;
  if (mode != '2' && mode != '3') return 16;
  if (!image.bytes.empty() && image.bytes.back() != '\0') return 16;
  const bool present = vekterm::detail::holds(image.bytes, *image.index, value);
  return (present == (mode == '3')) ? 0 : 1;
}

}  // extern "C"

namespace vekterm {

void add_file(std::string_view name, std::string_view bytes) {
  terminal().memory_files[std::string(name)] = detail::File{std::string(bytes), {}};
}

void remove_file(std::string_view name) {
  if (auto it = terminal().memory_files.find(name); it != terminal().memory_files.end())
    terminal().memory_files.erase(it);
}

void set_data_directory(std::string_view path) {
  detail::close_data_directory();
  terminal().data_directory = std::string(path);
}

const std::string &data_directory() {
  return terminal().data_directory;
}

void force_validation_result(std::string_view file, int result) {
  terminal().forced_validation[std::string(file)] = result;
}

std::string make_image(std::vector<std::string> records) {
  std::sort(records.begin(), records.end());
  std::string image;
  for (const std::string &r : records) {
    image += r;
    image += '\0';
  }
  return image;
}

}  // namespace vekterm
