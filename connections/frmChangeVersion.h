#pragma once
// The version chooser: connects with the values typed so far, lists the
// database's versions and lets the user pick the one a new connection uses.
#include <string>
#include <vector>

#include "platform/gis.h"
#include "platform/ui.h"

namespace marbrook {
struct Platform;

class frmChangeVersion : public ui::Form {
public:
    explicit frmChangeVersion(Platform& platform);

    [[nodiscard]] const char* FormName() const noexcept override { return "frmChangeVersion"; }
    [[nodiscard]] std::vector<ui::Control*> Controls() override;

    // Controls, in tab order.
    ui::Label Label1{"Label1"};
    ui::DropDownList ComboVersions{"ComboVersions"};
    ui::Label Label2{"Label2"};
    ui::Label Label3{"Label3"};
    ui::Label LblDescription{"LblDescription"};
    ui::CommandButton CmdCancel{"CmdCancel"};
    ui::CommandButton CmdOK{"CmdOK"};

    // Public state.
    bool mbOKClick = false;
    std::string msCurSelVersionName;
    std::string msCurSelVersionDesc;

    // Fills the list with the versions of the database the values name and
    // selects the first; returns how many were listed (below 1: do not show
    // the form). `sDatabase` names the database when the server needs one.
    long InitComboList(const std::string& sServer, const std::string& sUser, const std::string& sInstance,
                       const std::string& sPwd, const std::string& sVersion, const std::string& sDatabase = {}) noexcept;
    // Opens the database the values name; none when it cannot be opened.
    gis::WorkspacePtr TestConnection(const std::string& sServer, const std::string& sUser, const std::string& sInstance,
                                     const std::string& sPwd, const std::string& sVersion, bool bShowTips,
                                     const std::string& sDatabase = {}) noexcept;

    // Event handlers.
    void ComboVersions_Click() noexcept;
    void CmdOK_Click() noexcept;
    void CmdCancel_Click() noexcept;

    struct VersionEntry {
        std::string Name;
        std::string Description;
        bool HasParent = false;
    };
    // The version list: element 0 blank, list position k is element k + 1.
    [[nodiscard]] const std::vector<VersionEntry>& Versions() const noexcept { return mVersions; }

protected:
    void Form_Load() override;

private:
    Platform& platform_;
    std::vector<VersionEntry> mVersions{1};
};

} // namespace marbrook
