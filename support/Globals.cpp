#include "support/Globals.h"

namespace marbrook {

std::string gsCurDir;
std::int16_t giDataSourceType = 0;

void ResetProcessValues() {
    gsCurDir.clear();
    giDataSourceType = 0;
}

} // namespace marbrook
