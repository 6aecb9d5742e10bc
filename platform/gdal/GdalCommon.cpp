#include "platform/gdal/detail/GdalCommon.h"

#include <cpl_error.h>
#include <sys/stat.h>

namespace marbrook::gdal {

ErrorCapture::ErrorCapture() { CPLPushErrorHandlerEx(&ErrorCapture::Handler, this); }

ErrorCapture::~ErrorCapture() { CPLPopErrorHandler(); }

void CPL_STDCALL ErrorCapture::Handler(CPLErr level, CPLErrorNum, const char* message) {
    if (level < CE_Failure) return; // warnings and debug output are not failures
    auto* self = static_cast<ErrorCapture*>(CPLGetErrorHandlerUserData());
    if (self && message) self->message_ = message;
}

void ErrorCapture::Throw(long number, const std::string& what) const {
    throw PlatformError(number, kGdalSource, message_.empty() ? what : what + ": " + message_);
}

SharedDatasetHandle OpenShared(const std::string& path, unsigned flags, const char* const* allowedDrivers,
                               const char* const* openOptions) {
    // A pipe or a device named like a data file is refused before GDAL reads
    // it: reading a pipe waits for a writer for ever.
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw PlatformError(errnum::kFileNotFound, kGdalSource, "cannot open " + path + ": it is not a file");
    ErrorCapture capture;
    GDALDataset* ds = GDALDataset::FromHandle(GDALOpenEx(path.c_str(), flags, allowedDrivers, openOptions, nullptr));
    if (!ds) capture.Throw(errnum::kFileNotFound, "cannot open " + path);
    return SharedDatasetHandle(ds, DatasetCloser{});
}

} // namespace marbrook::gdal
