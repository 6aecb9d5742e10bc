#pragma once
// The new-connection form: the user enters server, service, database, user
// name and password, may test the connection and pick a version, and OK
// writes a connection file under a free name into the connection folder.
#include <string>
#include <vector>

#include "platform/gis.h"
#include "platform/ui.h"

namespace marbrook {
struct Platform;

// The free-name rule of new connection files: candidate 0 is
// "Connection to <server>.sde", candidates 1..10 "Connection to <server>(n).sde";
// every "/" of the server is written "_" so that the name never leaves the folder.
inline constexpr int kConnectionFileCandidates = 11;
std::string ConnectionFileCandidate(const std::string& trimmedServer, int index);

// Shows the new-connection form modally over `parent` with the connection
// folder `sdeDataPath`; true when the user created a connection (the form is
// then unloaded), false when it was cancelled or could not be shown.
bool RunNewConnectionForm(Platform& p, const std::string& sdeDataPath, gis::WindowHandle parent);

class frmOpenWorkspace : public ui::Form {
public:
    explicit frmOpenWorkspace(Platform& platform);

    [[nodiscard]] const char* FormName() const noexcept override { return "frmOpenWorkspace"; }
    [[nodiscard]] std::vector<ui::Control*> Controls() override;

    // Controls: the field labels, the fields in tab order, then the frames
    // and the version label.
    ui::Label lblServer{"lblServer"};
    ui::Label lblService{"lblService"};
    ui::Label lblDatabase{"lblDatabase"};
    ui::Label lblDatabaseNote{"lblDatabaseNote"};
    ui::Label lblUserName{"lblUserName"};
    ui::Label lblPassword{"lblPassword"};
    ui::TextBox txtServer{"txtServer"};
    ui::TextBox txtService{"txtService"};
    ui::TextBox txtDatabase{"txtDatabase"};
    ui::TextBox txtUserName{"txtUserName"};
    ui::TextBox txtPWD{"txtPWD"};
    ui::CheckBox ChkUserPwd{"ChkUserPwd"};
    ui::CommandButton CmdTextConn{"CmdTextConn"};
    ui::CheckBox ChkVersions{"ChkVersions"};
    ui::CommandButton CmdChangeVersion{"CmdChangeVersion"};
    ui::CommandButton CmdOK{"CmdOK"};
    ui::CommandButton CmdCancel{"CmdCancel"};
    ui::Frame Frame1{"Frame1"};
    ui::Frame Frame2{"Frame2"};
    ui::Label LblVersions{"LblVersions"};

    // Public state: the caller sets msSdeDataPath and reads mbOkClik.
    std::string msSdeDataPath;
    bool mbOkClik = false;
    gis::WorkspacePtr mpWorkspace;
    std::string msSdeDataName;
    std::string msSdeFullPath;
    // Advanced settings the fields do not show, written into every connection
    // file with these defaults: TLS when the server offers it (libpq's
    // sslmode), and the seconds after which a server that does not answer is
    // given up, so that a dead server never blocks the dialog for minutes.
    std::string msSslMode = "prefer";
    int miConnectTimeout = 10;

    [[nodiscard]] bool CheckValid() noexcept;
    gis::WorkspacePtr TestConnection(bool bShowTips) noexcept;

    // Event handlers.
    void txtServer_Change() noexcept;
    void txtService_Change() noexcept;
    void txtDatabase_Change() noexcept;
    void txtUserName_Change() noexcept;
    void txtPWD_Change() noexcept;
    void ChkUserPwd_Click() noexcept;
    void CmdTextConn_Click() noexcept;
    void CmdChangeVersion_Click() noexcept;
    void CmdOK_Click() noexcept;
    void CmdCancel_Click() noexcept;

    // The connection property set of the fields as they stand: SERVER, USER,
    // INSTANCE, DATABASE (when given), PASSWORD, VERSION (when "保存版本"
    // is ticked), then the advanced SSLMODE and CONNECT_TIMEOUT.
    [[nodiscard]] gis::PropertySetPtr ConnectionProperties() const;

protected:
    void Form_Load() override;

private:
    void ResetVersion(const char* position) noexcept;

    Platform& platform_;
};

} // namespace marbrook
