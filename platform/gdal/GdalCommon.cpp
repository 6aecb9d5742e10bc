#include "platform/gdal/detail/GdalCommon.h"

#include <cpl_error.h>

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
    ErrorCapture capture;
    GDALDataset* ds = GDALDataset::FromHandle(GDALOpenEx(path.c_str(), flags, allowedDrivers, openOptions, nullptr));
    if (!ds) capture.Throw(errnum::kFileNotFound, "cannot open " + path);
    return SharedDatasetHandle(ds, DatasetCloser{});
}

} // namespace marbrook::gdal
