// Input validation: the checks run over a confirmed panel.
#ifndef VEKPANEL_VALIDATION_VALIDATION_H
#define VEKPANEL_VALIDATION_VALIDATION_H

namespace vek {}  // namespace vek

#endif
