// A program that does nothing but is linked to GDAL: the floor of a
// command-line run's start. It asks GDAL its version so that the linker keeps
// the library (and everything it needs) on the program's list.
#include <gdal.h>

int main() { return GDALVersionInfo("VERSION_NUM") != nullptr ? 0 : 1; }
