#include "support/Failure.h"

#include "support/ErrExport.h"

namespace marbrook {

ErrorInfo Steps::Report() noexcept {
    ErrorInfo info = DescribeCurrentException();
    try {
        WriteErrLog(platform_, Position(), info.number, info.source, info.description);
    } catch (...) {
        // WriteErrLog does not throw; building the position may run out of memory.
    }
    return info;
}

} // namespace marbrook
