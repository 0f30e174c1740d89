// Input validation: the checks run over a confirmed panel.
#ifndef VEKPANEL_VALIDATION_VALIDATION_H
#define VEKPANEL_VALIDATION_VALIDATION_H

namespace vek {

// Validation pass over the defined fields: 768 the panel is accepted; 13 editing goes on at
// current_field, which names the field to correct.
int validation_pass();

}  // namespace vek

#endif
