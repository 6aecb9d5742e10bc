#pragma once
// The configurable open-data dialog: owns one browser form, shows it modally
// and hands the chosen items back as CLayerObj objects.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "platform/object.h"
#include "platform/ui.h"

namespace marbrook {
struct Platform;
class frmOpenDialog;

class COpenLayerDlg {
public:
    // Empty, a text, or an object reference.
    using Variant = std::variant<std::monostate, std::string, ObjectPtr>;

    explicit COpenLayerDlg(Platform& platform);
    ~COpenLayerDlg();
    COpenLayerDlg(const COpenLayerDlg&) = delete;
    COpenLayerDlg& operator=(const COpenLayerDlg&) = delete;

    // Shows the form over `hParentHWnd`; on confirmation appends one CLayerObj
    // per chosen item to `Selection` (not cleared first) and returns true.
    bool DoModalOpen(ui::WindowHandle hParentHWnd, Collection& Selection) noexcept;

    [[nodiscard]] std::string Title() const { return title_; }
    void Title(std::string vData) { title_ = std::move(vData); }
    [[nodiscard]] std::string StartingLocation() const { return startingLocation_; }
    void StartingLocation(std::string vData) { startingLocation_ = std::move(vData); }
    [[nodiscard]] bool RememberLocation() const noexcept { return rememberLocation_; }
    void RememberLocation(bool vData) noexcept { rememberLocation_ = vData; }
    [[nodiscard]] std::int16_t FilterType() const noexcept { return filterType_; }
    void FilterType(std::int16_t vData) noexcept { filterType_ = vData; }
    [[nodiscard]] Variant DataName() const { return dataName_; }
    void DataName(Variant vData) { dataName_ = std::move(vData); }
    [[nodiscard]] std::string FinalLocation() const { return finalLocation_; }
    void FinalLocation(std::string vData) { finalLocation_ = std::move(vData); }
    [[nodiscard]] std::string ButtonCaption() const { return buttonCaption_; }
    void ButtonCaption(std::string vData) { buttonCaption_ = std::move(vData); }
    [[nodiscard]] bool AllowMultiSelect() const noexcept { return allowMultiSelect_; }
    void AllowMultiSelect(bool vData) noexcept { allowMultiSelect_ = vData; }

    // Checks a choice before the dialog closes on it (the chosen items as
    // CLayerObj objects): false keeps the dialog open for another choice.
    // None (the default) accepts every choice.
    void AddCheck(std::function<bool(Collection& chosen)> check) { addCheck_ = std::move(check); }

    // The connection-file folder fixed at construction.
    [[nodiscard]] const std::string& SdePath() const noexcept { return msSdePath_; }
    // The owned browser form (null only when construction failed).
    [[nodiscard]] frmOpenDialog* Dialog() const noexcept { return mfrmDialog_.get(); }

private:
    Platform& platform_;
    std::unique_ptr<frmOpenDialog> mfrmDialog_;
    std::string msSdePath_;
    std::string title_;
    std::string startingLocation_;
    bool rememberLocation_ = false;
    std::int16_t filterType_ = 0;
    Variant dataName_;
    std::string finalLocation_;
    std::string buttonCaption_;
    bool allowMultiSelect_ = false;
    std::function<bool(Collection&)> addCheck_;
};

} // namespace marbrook
