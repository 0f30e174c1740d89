// Utility commands not built yet: they accept the call and change nothing.
#include "commands/commands.h"

namespace vek {

int dicount(const char *) { return 0; }
int compare(const char *) { return 0; }
int cmp_int(const char *) { return 0; }
int intmath(const char *) { return 0; }
int chkuniq(const char *) { return 0; }
int tm_date(const char *) { return 0; }
int tranmsg(const char *) { return 0; }
int v_delay(const char *) { return 0; }
int wait_uv(const char *) { return 0; }

}  // namespace vek
