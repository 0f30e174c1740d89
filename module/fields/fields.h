// Field definitions: the panel's field table and the commands that fill, clear and configure it.
#ifndef VEKPANEL_FIELDS_FIELDS_H
#define VEKPANEL_FIELDS_FIELDS_H

namespace vek {

int set_fie(const char *record);  // define one field
int clear_p();                    // discard the panel; always 0
int set_hel(const char *record);  // name the help file

}  // namespace vek

#endif
