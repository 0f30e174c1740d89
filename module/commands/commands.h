// Utility commands on user variables and module state. Each receives the whole parameter record.
#ifndef VEKPANEL_COMMANDS_COMMANDS_H
#define VEKPANEL_COMMANDS_COMMANDS_H

namespace vek {

int dicount(const char *record);  // counters
int popupwn(const char *record);  // pop-up window for the host; always 0
int compare(const char *record);  // text comparison of user variables
int cmp_int(const char *record);  // integer comparison
int intmath(const char *record);  // integer arithmetic
int chkuniq(const char *record);  // uniqueness lists
int tm_date(const char *record);  // clock texts
int tranmsg(const char *record);  // transaction message
int v_delay(const char *record);  // pause
int wait_uv(const char *record);  // wait for a user variable

}  // namespace vek

#endif
