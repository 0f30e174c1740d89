// What the field commands share among themselves.
#ifndef VEKPANEL_FIELDS_INTERNAL_H
#define VEKPANEL_FIELDS_INTERNAL_H

namespace vek {

// Copies the record's operands (from column 2, at most parameter-length characters, at most what the
// work buffer holds) into the work buffer and ends them there.
void load_operands(const char *record);

}  // namespace vek

#endif
