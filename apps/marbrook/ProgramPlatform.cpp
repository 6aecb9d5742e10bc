#include "ProgramPlatform.h"

#include "platform/assembly/DefaultPlatform.h"

namespace marbrook::cli {

gis::WorkspaceFactoryPtr WatchedGis::CreateWorkspaceFactory(gis::FactoryKind kind) {
    gis::WorkspaceFactoryPtr factory = inner_.CreateWorkspaceFactory(kind);
    if (factory) factories_.push_back(factory);
    return factory;
}

std::string WatchedGis::LastOpenFailure() const {
    for (auto it = factories_.rbegin(); it != factories_.rend(); ++it)
        if (std::string why = (*it)->LastOpenFailure(); !why.empty()) return why;
    return {};
}

ProgramPlatform::ProgramPlatform()
    : gis_(DefaultPlatform().gis), platform_{gis_, ui_, DefaultPlatform().system} {}

std::string ProgramPlatform::Told() const {
    if (std::string why = gis_.LastOpenFailure(); !why.empty()) return why;
    return ui_.messages.empty() ? std::string() : ui_.messages.back();
}

void ProgramPlatform::Forget() {
    ui_.messages.clear();
    gis_.Forget();
}

} // namespace marbrook::cli
