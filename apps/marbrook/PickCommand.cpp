// marbrook pick [--single] [--databases] [--json] [--parent WINDOW-ID]:
// shows the data browser (above the window WINDOW-ID of another program,
// when given) and prints the chosen layers, one per line: layer kind, name,
// data source, separated by tabs, in group order; --json prints the layers
// as "marbrook layers --json" does. Exit 1 when the user cancels.
// --databases offers the database connections for this run, as the stored
// data-source type 1 does.
#include "PickCommand.h"

#include <charconv>
#include <limits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>
#include <iostream>
#include <string>

#include "LayerOutput.h"
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

// A window id as X11 gives it (xdotool, xwininfo, a host's winId()): decimal
// or 0x-hexadecimal, not 0.
bool ParseWindowId(const char* text, gis::WindowHandle& id) {
    const std::string_view s(text);
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const std::string_view digits = hex ? s.substr(2) : s;
    unsigned long long value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size() || value == 0 ||
        value > static_cast<unsigned long long>(std::numeric_limits<gis::WindowHandle>::max()))
        return false;
    id = static_cast<gis::WindowHandle>(value);
    return true;
}

} // namespace

int Pick(int argc, char** argv) {
    bool multi = true;
    bool databases = false;
    bool json = false;
    gis::WindowHandle parent = gis::kNoWindow;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--single") == 0) {
            multi = false;
        } else if (std::strcmp(argv[i], "--databases") == 0) {
            databases = true;
        } else if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--parent") == 0 && i + 1 < argc && ParseWindowId(argv[i + 1], parent)) {
            ++i;
        } else {
            std::cerr << "marbrook pick: unknown option or bad window id '" << argv[i] << "'\n"
                      << "usage: marbrook pick [--single] [--databases] [--json] [--parent WINDOW-ID]\n";
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
    const std::optional<Collection> got = layers.GetLayersByDlg(parent, multi);
    if (!got) return 1;
    if (json) {
        nlohmann::json array = nlohmann::json::array();
        for (long i = 1; i <= got->Count(); ++i)
            if (auto layer = got->ItemAs<gis::Layer>(i)) array.push_back(LayerJson(*layer));
        std::cout << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
        return 0;
    }
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
