// INTMATH, CMP_INT and COMPARE: arithmetic on two user variables, and their comparison as integers or
// as texts with a relation code and a result sense.
#include <array>
#include <cstring>

#include "commands/commands.h"
#include "commands/common.h"
#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"

namespace vek {
namespace {

constexpr int kVariableText = 160;  // what a user-variable read may store, the NUL included
constexpr int kResultVariable = 1;  // INTMATH's result

enum class Relation : std::uint8_t { Equal, NotEqual, GreaterEqual, Greater, LessEqual, Less, Invalid };

// Value returned to the host for each result-sense letter.
struct SenseValue {
  char letter;  // upper case; the record may hold either case
  int holds;    // the relation holds
  int fails;    // it does not
};
constexpr SenseValue kSenses[] = {{'S', 1, 0}, {'N', 0, 1}, {'A', 2, 0}};

// Operand columns and the rules that differ between the three commands.
struct Layout {
  int minimum;         // parameter length below it: C1
  std::size_t first;   // columns of the first variable number (two)
  std::size_t op;      // operator or relation column
  std::size_t second;  // columns of the second variable number (two)
  std::size_t sense;   // result-sense column (not INTMATH)
  int read_failure;    // read result that counts as failure
  bool byte_numbers;   // variable numbers passed as their low 8 bits
  bool sense_a;        // sense A accepted
};
constexpr Layout kIntmath = {21, 12, 16, 20, 0, 1, true, false};
constexpr Layout kCmpInt = {28, 12, 16, 21, 30, 1, true, true};
constexpr Layout kCompare = {36, 14, 18, 25, 37, 3, false, false};

int variable_number(const char *record, std::size_t column, bool byte_number) {
  const int number = record_number(record, column, 2);
  return byte_number ? static_cast<std::uint8_t>(number) : number;
}

// Both variables' texts, read into the callers' buffers. Returns nullptr, or the code to report: C1 to C3.
const char *read_operands(const char *record, const Layout &layout, char *first, char *second) {
  if (parameter_length() < layout.minimum) return "C1";
  if (_ReadUserVariable(variable_number(record, layout.first, layout.byte_numbers), first) ==
      layout.read_failure)
    return "C2";
  if (_ReadUserVariable(variable_number(record, layout.second, layout.byte_numbers), second) ==
      layout.read_failure)
    return "C3";
  return nullptr;
}

// The sense letter's entry, or nullptr when the command does not accept it.
const SenseValue *sense_of(const char *record, const Layout &layout) {
  const char letter = upper(record_char(record, layout.sense));
  for (const SenseValue &sense : kSenses)
    if (sense.letter == letter && (layout.sense_a || letter != 'A')) return &sense;
  return nullptr;
}

// The relation in two letters; only G and L look at the second one.
Relation relation_of(const char *record, const Layout &layout) {
  const char first = upper(record_char(record, layout.op));
  const char second = first == 0 ? 0 : upper(record_char(record, layout.op + 1));
  switch (first) {
    case 'E':
      return Relation::Equal;
    case 'N':
      return Relation::NotEqual;
    case 'G':
      return second == 'E' ? Relation::GreaterEqual : second == 'T' ? Relation::Greater : Relation::Invalid;
    case 'L':
      return second == 'E' ? Relation::LessEqual : second == 'T' ? Relation::Less : Relation::Invalid;
    default:
      return Relation::Invalid;
  }
}

// `order` is negative, 0 or positive as the first operand is below, equal to or above the second.
bool holds(Relation relation, int order) {
  switch (relation) {
    case Relation::Equal:
      return order == 0;
    case Relation::NotEqual:
      return order != 0;
    case Relation::GreaterEqual:
      return order >= 0;
    case Relation::Greater:
      return order > 0;
    case Relation::LessEqual:
      return order <= 0;
    case Relation::Less:
      return order < 0;
    case Relation::Invalid:
      return false;
  }
  return false;
}

// Shared by CMP_INT and COMPARE once the operands are read: the sense first, then the relation.
// Returns the sense table's value, or 0 after C4 or C5.
int judge(const char *record, const Layout &layout, int order) {
  const SenseValue *sense = sense_of(record, layout);
  if (!sense) return refuse(record, "C4");
  const Relation relation = relation_of(record, layout);
  if (relation == Relation::Invalid) return refuse(record, "C5");
  return holds(relation, order) ? sense->holds : sense->fails;
}

}  // namespace

// Always 0; C1 record too short, C2/C3 a variable read failed, C5 unknown operator, C6 division by 0.
int intmath(const char *record) {
  char first[kVariableText] = {};
  char second[kVariableText] = {};
  if (const char *code = read_operands(record, kIntmath, first, second)) return refuse(record, code);
  // Arithmetic wraps at 32 bits, so it is done on the unsigned bit patterns.
  const auto a = static_cast<std::uint32_t>(decimal_value(first));
  const auto b = static_cast<std::uint32_t>(decimal_value(second));
  std::uint32_t result = 0;
  switch (record_char(record, kIntmath.op)) {
    case '+':
      result = a + b;
      break;
    case '-':
      result = a - b;
      break;
    case '*':
      result = a * b;
      break;
    case '/':
      if (b == 0) return refuse(record, "C6");
      // The one quotient that does not fit, -2147483648 / -1, wraps to itself.
      if (a == 0x80000000u && b == 0xFFFFFFFFu)
        result = a;
      else
        result = static_cast<std::uint32_t>(static_cast<std::int32_t>(a) / static_cast<std::int32_t>(b));
      break;
    default:
      return refuse(record, "C5");
  }
  // The result goes out as signed decimal text through the work buffer.
  decimal_text(static_cast<std::int32_t>(result), work_buffer(), kWorkSize);
  _WriteUserVariable(kResultVariable, work_buffer());
  return 0;
}

// 1/0 (sense S), 0/1 (N) or 2/0 (A) as the relation holds or not; 0 after C1 to C5.
int cmp_int(const char *record) {
  char first[kVariableText] = {};
  char second[kVariableText] = {};
  if (const char *code = read_operands(record, kCmpInt, first, second)) return refuse(record, code);
  const int a = decimal_value(first), b = decimal_value(second);
  return judge(record, kCmpInt, (a > b) - (a < b));
}

// 1/0 (sense S) or 0/1 (N) as the relation between the texts holds or not; 0 after C1 to C5.
int compare(const char *record) {
  char first[kVariableText] = {};
  char second[kVariableText] = {};
  if (const char *code = read_operands(record, kCompare, first, second)) return refuse(record, code);
  return judge(record, kCompare, std::strcmp(first, second));
}

}  // namespace vek
