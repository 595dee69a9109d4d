#include "base/locale.h"

namespace qm {

LocaleTimeFormat UserLocaleTimeFormat() { return {}; }  // stub

}  // namespace qm
