// The `vek` library that transaction programs use, and the running of a program file.
//
// Lua reports errors with longjmp, which skips C++ destructors: every function here that can raise a
// Lua error does so only when no object with a destructor is alive in its frame (texts are built in
// plain buffers or inside inner scopes that have ended).
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include <array>
#include <cstring>

#include "dispatch/terminal.h"
#include "host.h"
#include "vekterm/vekterm.h"

namespace vekhost {
namespace {

constexpr int kMaxRecordText = 99;  // the two length digits count the characters after them

// The raised object that ends a program on purpose (vek.exit, os.exit, a headless stall); the exit
// status travels in the session.
char g_stop_key;

struct LuaHost {
  Session *session = nullptr;
  int exit_status = kExitOk;
};
LuaHost g_lua;

[[noreturn]] void stop_program(lua_State *L, int status) {
  g_lua.exit_status = status;
  lua_pushlightuserdata(L, &g_stop_key);
  lua_error(L);
  __builtin_unreachable();
}

int variable_number(lua_State *L, int index) {
  const lua_Integer n = luaL_checkinteger(L, index);
  if (n < 1 || n > vekterm::kVariables)
    luaL_error(L, "user variable %d does not exist (1 to %d)", static_cast<int>(n), vekterm::kVariables);
  return static_cast<int>(n);
}

// Calls main and ends the program when the headless terminal has stalled meanwhile.
int checked_call(lua_State *L, int reason, const char *record, std::size_t length) {
  int result = 0;
  {
    const std::string text(record, length);
    result = call_main(*g_lua.session, reason, text);
  }
  if (g_lua.session->stalled) stop_program(L, kExitStalled);
  return result;
}

// vek.command(text) or vek.command(name, {[column] = operand, ...}): the record with its two length
// digits put in front; in the second form each operand is placed at its column of the record (the
// columns of the command tables, counted from the first length digit).
int l_command(lua_State *L) {
  char record[kMaxRecordText + 3];
  std::size_t length = 0;
  const char *text = luaL_checklstring(L, 1, &length);
  if (lua_isnoneornil(L, 2)) {
    if (length > kMaxRecordText)
      return luaL_error(L, "command text of %d characters; the length digits allow %d",
                        static_cast<int>(length), kMaxRecordText);
    std::memcpy(record + 2, text, length);
  } else {
    luaL_checktype(L, 2, LUA_TTABLE);
    if (length > 7) return luaL_error(L, "command name '%s' is longer than 7 characters", text);
    std::memset(record, ' ', sizeof record);
    std::memcpy(record + 2, text, length);
    std::size_t end = 2 + length;
    std::array<bool, sizeof record> taken{};
    for (std::size_t i = 2; i < end; ++i)
      taken[i] = true;
    lua_pushnil(L);
    while (lua_next(L, 2) != 0) {
      if (lua_type(L, -2) == LUA_TSTRING && std::strcmp(lua_tostring(L, -2), "length") == 0) {
        // length = n: blanks up to a parameter length of n, for commands that want more than their
        // last operand's column
        const lua_Integer want = luaL_checkinteger(L, -1);
        if (want < 0 || want > kMaxRecordText)
          return luaL_error(L, "length %d outside 0 to %d", static_cast<int>(want), kMaxRecordText);
        if (static_cast<std::size_t>(want) + 2 > end) end = static_cast<std::size_t>(want) + 2;
        lua_pop(L, 1);
        continue;
      }
      if (!lua_isinteger(L, -2))
        return luaL_error(L, "operand keys are record columns (whole numbers) or length");
      const lua_Integer column = lua_tointeger(L, -2);
      std::size_t n = 0;
      const char *operand = luaL_tolstring(L, -1, &n);
      if (column < 9 || column + static_cast<lua_Integer>(n) > kMaxRecordText + 2)
        return luaL_error(L, "operand '%s' at column %d lies outside columns 9 to %d", operand,
                          static_cast<int>(column), kMaxRecordText + 1);
      const auto at = static_cast<std::size_t>(column);
      for (std::size_t i = at; i < at + n; ++i) {
        if (taken[i])
          return luaL_error(L, "operand '%s' at column %d overlaps another", operand,
                            static_cast<int>(column));
        taken[i] = true;
      }
      std::memcpy(record + at, operand, n);
      if (at + n > end) end = at + n;
      lua_pop(L, 2);
    }
    length = end - 2;
  }
  if (std::memchr(record + 2, 0, length)) return luaL_error(L, "command text holds a NUL byte");
  record[0] = static_cast<char>('0' + length / 10);
  record[1] = static_cast<char>('0' + length % 10);
  record[length + 2] = 0;
  lua_pushinteger(L, checked_call(L, 3, record, length + 2));
  return 1;
}

// vek.reason(n [, record]): main with any reason; the record goes as given (no length digits added).
int l_reason(lua_State *L) {
  const lua_Integer reason = luaL_checkinteger(L, 1);
  std::size_t length = 0;
  const char *record = luaL_optlstring(L, 2, "", &length);
  if (reason < INT32_MIN || reason > INT32_MAX) return luaL_error(L, "reason outside 32 bits");
  lua_pushinteger(L, checked_call(L, static_cast<int>(reason), record, length));
  return 1;
}

// vek.var[n]: the text of user variable n.
int l_var_index(lua_State *L) {
  const int n = variable_number(L, 2);
  const std::string text = vekterm::variable(n);
  lua_pushlstring(L, text.data(), text.size());
  return 1;
}

// vek.var[n] = text (a number is written as its text); nil empties the variable.
int l_var_newindex(lua_State *L) {
  const int n = variable_number(L, 2);
  if (lua_isnil(L, 3)) {
    vekterm::set_variable(n, "");
    trace_host_write(n, "");
    return 0;
  }
  std::size_t length = 0;
  const char *text = luaL_tolstring(L, 3, &length);
  if (std::memchr(text, 0, length)) return luaL_error(L, "user variable %d: text holds a NUL byte", n);
  const int capacity = vekterm::variable_capacity(n);
  if (static_cast<int>(length) > capacity)
    return luaL_error(L, "user variable %d holds %d characters; the text has %d", n, capacity,
                      static_cast<int>(length));
  vekterm::set_variable(n, std::string_view(text, length));
  trace_host_write(n, std::string_view(text, length));
  return 0;
}

// vek.capacity(n, characters): how many characters user variable n holds (0 to 159).
int l_capacity(lua_State *L) {
  const int n = variable_number(L, 1);
  const lua_Integer c = luaL_checkinteger(L, 2);
  if (c < 0 || c > vekterm::kVariableCapacity)
    return luaL_error(L, "capacity %d outside 0 to %d", static_cast<int>(c), vekterm::kVariableCapacity);
  vekterm::set_variable_capacity(n, static_cast<int>(c));
  return 0;
}

// vek.write(row, column, text [, attribute]): the host's own text on the screen (rows 0-19,
// columns 0-39 as the module counts them).
int l_write(lua_State *L) {
  const lua_Integer row = luaL_checkinteger(L, 1);
  const lua_Integer column = luaL_checkinteger(L, 2);
  std::size_t length = 0;
  const char *text = luaL_checklstring(L, 3, &length);
  const lua_Integer attribute = luaL_optinteger(L, 4, 0);
  if (row < 0 || row >= vekterm::kRows || column < 0 || column >= vekterm::kColumns)
    return luaL_error(L, "position %d,%d is off the screen (rows 0-19, columns 0-39)", static_cast<int>(row),
                      static_cast<int>(column));
  int scratch = 0;
  const int n = length > vekterm::kColumns ? vekterm::kColumns : static_cast<int>(length);
  _VioWrtCharStrAtt(text, n, static_cast<int>(row), static_cast<int>(column), static_cast<int>(attribute),
                    &scratch, 0);
  return 0;
}

int l_clear(lua_State *) {
  _VioClear();
  return 0;
}

// vek.row(r): the 40 characters of screen row r (0-19).
int l_row(lua_State *L) {
  const lua_Integer row = luaL_checkinteger(L, 1);
  if (row < 0 || row >= vekterm::kRows)
    return luaL_error(L, "row %d is off the screen (0-19)", static_cast<int>(row));
  const std::string text = vekterm::screen_row(static_cast<int>(row));
  lua_pushlstring(L, text.data(), text.size());
  return 1;
}

// vek.stopping(): true when the terminal asks the program to end (a signal, a host stop request).
int l_stopping(lua_State *L) {
  lua_pushboolean(L, _IdleManager(0) != 0);
  return 1;
}

// vek.note(text): a line of the program's own in the trace file.
int l_note(lua_State *L) {
  std::size_t length = 0;
  const char *text = luaL_checklstring(L, 1, &length);
  trace_line(std::string_view(text, length));
  return 0;
}

// vek.exit([status]) and os.exit([status]): end the program, giving the terminal back first.
int l_exit(lua_State *L) {
  int status = kExitOk;
  if (lua_isboolean(L, 1))
    status = lua_toboolean(L, 1) ? kExitOk : kExitProgram;
  else
    status = static_cast<int>(luaL_optinteger(L, 1, kExitOk));
  stop_program(L, status);
}

// print: to the session's output; on the TTY kept until the terminal is given back.
int l_print(lua_State *L) {
  const int n = lua_gettop(L);
  luaL_Buffer b;
  luaL_buffinit(L, &b);
  for (int i = 1; i <= n; ++i) {
    if (i > 1) luaL_addchar(&b, '\t');
    luaL_tolstring(L, i, nullptr);
    luaL_addvalue(&b);
  }
  luaL_addchar(&b, '\n');
  luaL_pushresult(&b);
  std::size_t length = 0;
  const char *line = lua_tolstring(L, -1, &length);
  Session &s = *g_lua.session;
  if (s.held_output)
    s.held_output->append(line, length);
  else
    std::fwrite(line, 1, length, s.out);
  return 0;
}

// Adds the traceback to an error message; a deliberate stop passes unchanged.
int message_handler(lua_State *L) {
  if (lua_touserdata(L, 1) == &g_stop_key) return 1;
  const char *message = lua_tostring(L, 1);
  if (!message) message = lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, 1));
  luaL_traceback(L, L, message, 1);
  return 1;
}

constexpr luaL_Reg kFunctions[] = {
    {"command", l_command}, {"reason", l_reason}, {"capacity", l_capacity}, {"write", l_write},
    {"clear", l_clear},     {"row", l_row},       {"stopping", l_stopping}, {"note", l_note},
    {"exit", l_exit},       {nullptr, nullptr},
};

}  // namespace

void open_vek_library(lua_State *L, Session &session) {
  g_lua = {};
  g_lua.session = &session;
  luaL_newlib(L, kFunctions);
  lua_newtable(L);  // vek.var: a proxy whose metatable reads and writes the terminal's variables
  lua_newtable(L);
  lua_pushcfunction(L, l_var_index);
  lua_setfield(L, -2, "__index");
  lua_pushcfunction(L, l_var_newindex);
  lua_setfield(L, -2, "__newindex");
  lua_setmetatable(L, -2);
  lua_setfield(L, -2, "var");
  lua_pushboolean(L, session.headless);
  lua_setfield(L, -2, "headless");
  lua_setglobal(L, "vek");
  lua_pushcfunction(L, l_print);
  lua_setglobal(L, "print");
  lua_getglobal(L, "os");
  lua_pushcfunction(L, l_exit);
  lua_setfield(L, -2, "exit");
  lua_pop(L, 1);
}

int run_program(Session &session, const std::string &path, const std::vector<std::string> &args,
                std::string *error) {
  lua_State *L = luaL_newstate();
  if (!L) {
    *error = "not enough memory for Lua";
    return kExitSetup;
  }
  luaL_openlibs(L);
  open_vek_library(L, session);
  lua_createtable(L, static_cast<int>(args.size()), 1);  // arg, as the stand-alone interpreter sets it
  lua_pushstring(L, path.c_str());
  lua_rawseti(L, -2, 0);
  for (std::size_t i = 0; i < args.size(); ++i) {
    lua_pushstring(L, args[i].c_str());
    lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
  }
  lua_setglobal(L, "arg");

  int status = kExitOk;
  lua_pushcfunction(L, message_handler);
  if (luaL_loadfile(L, path.c_str()) != LUA_OK) {
    *error = lua_tostring(L, -1);
    status = kExitProgram;
  } else if (lua_pcall(L, 0, 1, -2) != LUA_OK) {
    if (lua_touserdata(L, -1) == &g_stop_key) {
      status = g_lua.exit_status;
    } else {
      *error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "error without a message";
      status = kExitProgram;
    }
  } else if (lua_isinteger(L, -1)) {
    status = static_cast<int>(lua_tointeger(L, -1));  // a program may return its exit status
  }
  lua_close(L);
  return status;
}

}  // namespace vekhost
