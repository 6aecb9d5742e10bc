#include "ComponentLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace marbrook::host {

namespace {

std::string ProgramFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

std::vector<std::string> Candidates(const std::string& given) {
    if (!given.empty()) return {given};
    std::vector<std::string> out;
    if (const char* env = std::getenv("MARBROOK_LIBRARY"); env && *env) out.emplace_back(env);
    const std::string here = ProgramFolder();
    out.push_back(here + "/../lib/libmarbrook.so.2");
    out.push_back(here + "/../" MARBROOK_LIBDIR "/libmarbrook.so.2");
#ifdef MARBROOK_BUILD_LIBRARY
    out.emplace_back(MARBROOK_BUILD_LIBRARY);
#endif
    out.emplace_back("libmarbrook.so.2");
    return out;
}

} // namespace

ComponentLoader::ComponentLoader(const std::string& path) {
    for (const std::string& candidate : Candidates(path)) {
        const bool byName = candidate.find('/') == std::string::npos;
        if (!byName && !std::filesystem::exists(candidate)) continue;
        // The library registers Qt resources, GDAL drivers and exit handlers;
        // it must stay mapped after dlclose for those to be torn down safely.
        handle_ = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (handle_) {
            path_ = candidate;
            error_.clear();
            return;
        }
        const char* e = ::dlerror();
        error_ = e ? e : "cannot load " + candidate;
    }
    if (error_.empty()) error_ = "libmarbrook.so.2 not found (set MARBROOK_LIBRARY to its path)";
}

ComponentLoader::~ComponentLoader() {
    // Unloading with live objects would pull their code away under them.
    if (handle_ && CanUnloadNow()) ::dlclose(handle_);
}

void* ComponentLoader::Symbol(const char* name) {
    if (!handle_) return nullptr;
    void* s = ::dlsym(handle_, name);
    if (!s) error_ = std::string("the library has no entry point ") + name;
    return s;
}

ILayerFunctionExport* ComponentLoader::CreateLayerFunctions() {
    using Fn = int (*)(const char*, void**);
    auto create = reinterpret_cast<Fn>(Symbol("DllGetClassObject"));
    if (!create) return nullptr;
    void* object = nullptr;
    const int rc = create(component::kLayerFunctionClass, &object);
    if (rc != component::kOk || !object) {
        error_ = "DllGetClassObject failed with " + std::to_string(rc) + " (see the library's error log)";
        return nullptr;
    }
    return static_cast<ILayerFunctionExport*>(object);
}

bool ComponentLoader::CanUnloadNow() {
    using Fn = int (*)();
    auto can = reinterpret_cast<Fn>(Symbol("DllCanUnloadNow"));
    return can && can() == component::kOk;
}

int ComponentLoader::Register() {
    using Fn = int (*)();
    auto reg = reinterpret_cast<Fn>(Symbol("DllRegisterServer"));
    return reg ? reg() : component::kFailed;
}

int ComponentLoader::Unregister() {
    using Fn = int (*)();
    auto unreg = reinterpret_cast<Fn>(Symbol("DllUnregisterServer"));
    return unreg ? unreg() : component::kFailed;
}

} // namespace marbrook::host
