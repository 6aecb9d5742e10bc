// Test and benchmark programs link the GDAL back end themselves, so the
// library's code lives in the program, not beside the reader program of this
// build: point it there, unless the one running them chose another.
#include <cstdlib>

namespace {
const bool kReaderChosen = [] {
    ::setenv("MARBROOK_READER", MARBROOK_READER_PATH, 0);
    return true;
}();
} // namespace
