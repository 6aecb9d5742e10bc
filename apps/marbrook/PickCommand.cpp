// marbrook pick [--single] [--databases]: shows the data browser over no
// parent window and prints the chosen layers, one per line: layer kind, name,
// data source, separated by tabs, in group order. Exit 1 when the user
// cancels. --databases offers the database connections for this run, as the
// stored data-source type 1 does.
#include "PickCommand.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>
#include <iostream>
#include <string>

#include "interface/CLayerFunctionExport.h"
#include "platform/assembly/DefaultPlatform.h"
#include "platform/platform.h"
#include "platform/qt/DisplayCheck.h"
#include "platform/gis.h"
#include "platform/object.h"

namespace marbrook::cli {

namespace {

const char* KindName(gis::LayerKind kind) {
    switch (kind) {
    case gis::LayerKind::Feature: return "feature";
    case gis::LayerKind::Annotation: return "annotation";
    case gis::LayerKind::CoverageAnnotation: return "coverage-annotation";
    case gis::LayerKind::Raster: return "raster";
    case gis::LayerKind::Cad: return "cad";
    }
    return "layer";
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The system services of the library, but the data-source type reads as 1:
// the dialog offers the database connections for this run, and nothing is
// stored.
class DatabasesOffered final : public sys::SystemService {
public:
    explicit DatabasesOffered(sys::SystemService& base) : base_(base) {}
    std::vector<sys::Drive> LogicalDrives() override { return base_.LogicalDrives(); }
    std::string UserName() override { return base_.UserName(); }
    bool PathExists(const std::string& path) override { return base_.PathExists(path); }
    bool FolderExists(const std::string& path) override { return base_.FolderExists(path); }
    bool FileExists(const std::string& path) override { return base_.FileExists(path); }
    sys::FolderContents ListFolder(const std::string& path) override { return base_.ListFolder(path); }
    void CreateFolder(const std::string& path) override { base_.CreateFolder(path); }
    void AppendText(const std::string& path, const std::string& text) override { base_.AppendText(path, text); }
    void CreateEmptyFile(const std::string& path) override { base_.CreateEmptyFile(path); }
    std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                                  const std::string& defaultValue) override {
        return base_.ReadProfileString(file, section, key, defaultValue);
    }
    void WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                            const std::string& value) override {
        base_.WriteProfileString(file, section, key, value);
    }
    std::optional<std::string> GetSetting(const std::string& application, const std::string& section,
                                          const std::string& key) override {
        if (SameName(application, "QM_VERDANTA") && SameName(section, "QM_DataSource") && SameName(key, "Type")) return "1";
        return base_.GetSetting(application, section, key);
    }
    void SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                     const std::string& value) override {
        base_.SaveSetting(application, section, key, value);
    }
    sys::LibraryIdentity Library() override { return base_.Library(); }
    std::string DateText() override { return base_.DateText(); }
    std::string TimeText() override { return base_.TimeText(); }

private:
    sys::SystemService& base_;
};

// Tabs and line breaks inside a field would break the one-line format.
std::string Field(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return s;
}

} // namespace

int Pick(int argc, char** argv) {
    bool multi = true;
    bool databases = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--single") == 0) {
            multi = false;
        } else if (std::strcmp(argv[i], "--databases") == 0) {
            databases = true;
        } else {
            std::cerr << "marbrook pick: unknown option '" << argv[i] << "'\n"
                      << "usage: marbrook pick [--single] [--databases]\n";
            return 2;
        }
    }
    if (!marbrook::qt::DisplayAvailable()) {
        std::cerr << "marbrook pick: no display found (DISPLAY and WAYLAND_DISPLAY name no running display);\n"
                     "  run it in a desktop session, or under a virtual display: xvfb-run -a marbrook pick\n";
        return 3;
    }
    Platform& library = DefaultPlatform();
    DatabasesOffered offered(library.system);
    Platform platform{library.gis, library.ui, databases ? static_cast<sys::SystemService&>(offered) : library.system};
    CLayerFunctionExport layers(platform);
    const std::optional<Collection> got = layers.GetLayersByDlg(gis::kNoWindow, multi);
    if (!got) return 1;
    for (long i = 1; i <= got->Count(); ++i) {
        auto layer = got->ItemAs<gis::Layer>(i);
        if (!layer) continue;
        std::cout << KindName(layer->Kind()) << '\t' << Field(layer->Name()) << '\t' << Field(layer->DataSourceText())
                  << '\n';
    }
    std::cout.flush();
    return 0;
}

} // namespace marbrook::cli
