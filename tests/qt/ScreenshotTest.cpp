// Screenshots of the dialogs, saved into the build folder for a person to
// look at: the browser listing the sample folder in report view, and the
// new-connection form.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QTest>
#include <QTimer>

#include "SampleCatalogue.h"
#include "browser/Listing.h"
#include "browser/frmOpenDialog.h"
#include "connections/frmOpenWorkspace.h"
#include "platform/gdal/GdalGis.h"
#include "platform/platform.h"
#include "platform/qt/FormView.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/forms/FormViews.h"
#include "support/Globals.h"
#include "tests/doubles/FakeSystem.h"

namespace marbrook::testing {
namespace {

QString ArtifactPath(const char* name) {
    QDir dir(QStringLiteral(MARBROOK_ARTIFACTS_DIR));
    const QString path = dir.filePath(QString::fromLatin1(name));
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

// Saves a grab of `window` and checks that it holds a real picture.
void SaveShot(QWidget* window, const char* name) {
    window->show();
    QApplication::processEvents();
    const QPixmap shot = window->grab();
    ASSERT_FALSE(shot.isNull());
    const QString path = ArtifactPath(name);
    ASSERT_TRUE(shot.save(path, "PNG")) << path.toStdString();
    const QImage back(path);
    EXPECT_EQ(back.size(), shot.size());
    // More than a blank window: the picture has many colours.
    QSet<QRgb> colours;
    for (int y = 0; y < back.height(); y += 3)
        for (int x = 0; x < back.width(); x += 3) colours.insert(back.pixel(x, y));
    EXPECT_GT(colours.size(), 20);
    std::cout << "screenshot: " << path.toStdString() << "\n";
}

TEST(DialogScreenshots, BrowserInReportViewAndNewConnectionForm) {
    ResetProcessValues();
    qt::EnsureApplication();
    IsolatedHome home;
    TempDir samples;
    host::WriteSampleCatalogue(samples.Path());
    FakeSystem system;
    auto gis = gdal::NewGdalGis();
    auto ui = qt::NewQtUi(&qt::MakeFormView);
    Platform platform{*gis, *ui, system};

    frmOpenDialog browser(platform);
    gsCurDir = samples.Path();
    std::string unused;
    browser.InitDataList(unused);
    browser.SetFilterType(0);
    ui->HandleOf(browser);
    QWidget* window = qt::FormWindow(*ui, browser);
    ASSERT_NE(window, nullptr);
    window->show();
    qt::FlushForm(*ui, browser);
    QTest::mouseClick(window->findChild<QAbstractButton*>(QStringLiteral("OptReport")), Qt::LeftButton);
    qt::FlushForm(*ui, browser);
    ASSERT_EQ(browser.LVDataList.View(), 3);
    ASSERT_GE(browser.LVDataList.Count(), 5);
    SaveShot(window, "open-dialog-report.png");
    // The large icons, one picture per kind of data.
    QTest::mouseClick(window->findChild<QAbstractButton*>(QStringLiteral("OptThumbs")), Qt::LeftButton);
    qt::FlushForm(*ui, browser);
    ASSERT_EQ(browser.LVDataList.View(), 0);
    SaveShot(window, "open-dialog-icons.png");

    // The location list open, with its indented entries and their pictures.
    auto* combo = window->findChild<QComboBox*>(QStringLiteral("ComboLocation"));
    ASSERT_NE(combo, nullptr);
    combo->showPopup();
    QApplication::processEvents();
    SaveShot(combo->view()->window(), "location-list.png");
    combo->hidePopup();

    frmOpenWorkspace connection(platform);
    ui->HandleOf(connection);
    qt::FlushForm(*ui, connection);
    SaveShot(qt::FormWindow(*ui, connection), "new-connection.png");
    ui->UnloadForm(connection);
    ui->UnloadForm(browser);
    ResetProcessValues();
}

// Each view of the list (large icons, list, report) at the root volume "/"
// and inside a drawing, as a user sees them: for a person to compare.
TEST(DialogScreenshots, EachViewAtTheRootVolumeAndInADrawing) {
    ResetProcessValues();
    qt::EnsureApplication();
    IsolatedHome home;
    TempDir samples;
    host::WriteSampleCatalogue(samples.Path());
    FakeSystem system;
    auto gis = gdal::NewGdalGis();
    auto ui = qt::NewQtUi(&qt::MakeFormView);
    Platform platform{*gis, *ui, system};

    frmOpenDialog browser(platform);
    browser.LVDataList.SetMultiSelect(true);
    std::string unused;
    struct Place {
        const char* name;
        std::string remembered;
    };
    for (const Place& place : {Place{"root", "/"}, Place{"drawing", samples.Path() + "/site-plan.dxf"}}) {
        SCOPED_TRACE(place.name);
        gsCurDir = place.remembered;
        browser.InitDataList(unused);
        browser.SetFilterType(0);
        if (std::string(place.name) == "drawing") {
            // The replay stops beside the drawing: the user opens it.
            const auto& items = browser.LVDataList.Items();
            for (std::size_t i = 0; i < items.size(); ++i)
                if (items[i].text == "site-plan.dxf") {
                    browser.LVDataList.ClearSelection();
                    browser.LVDataList.SetSelected(static_cast<long>(i + 1), true);
                    browser.LVDataList_DblClick();
                    break;
                }
        }
        ASSERT_GE(browser.LVDataList.Count(), 3);
        ui->HandleOf(browser);
        QWidget* window = qt::FormWindow(*ui, browser);
        ASSERT_NE(window, nullptr);
        // The browser's own view, not the plain one of a form without a view.
        ASSERT_NE(window->findChild<qt::ListViewWidget*>(QStringLiteral("LVDataList")), nullptr);
        window->resize(640, 420);
        window->show();
        qt::FlushForm(*ui, browser);
        struct View {
            const char* button;
            const char* file;
        };
        for (const View& v : {View{"OptThumbs", "icons"}, View{"OptList", "list"}, View{"OptReport", "report"}}) {
            QTest::mouseClick(window->findChild<QAbstractButton*>(QString::fromLatin1(v.button)), Qt::LeftButton);
            qt::FlushForm(*ui, browser);
            QApplication::processEvents();
            const std::string file = std::string("views/") + place.name + "-" + v.file + ".png";
            SaveShot(window, file.c_str());
        }
    }
    ui->UnloadForm(browser);
    ResetProcessValues();
}

// The dialog while a slow folder lists: the busy bar and 取消 below the list.
TEST(DialogScreenshots, AFolderThatTakesLongToList) {
    ResetProcessValues();
    qt::EnsureApplication();
    IsolatedHome home;
    TempDir samples;
    host::WriteSampleCatalogue(samples.Path());
    FakeSystem system;
    auto gate = std::make_shared<Gate>();
    system.slowFolders[samples.Path() + "/nested"] = gate;
    auto gis = gdal::NewGdalGis();
    auto ui = qt::NewQtUi(&qt::MakeFormView);
    Platform platform{*gis, *ui, system};
    frmOpenDialog browser(platform);
    gsCurDir = samples.Path();
    std::string unused;
    browser.InitDataList(unused);
    browser.SetFilterType(0);
    ui->HandleOf(browser);
    QWidget* window = qt::FormWindow(*ui, browser);
    ASSERT_NE(window, nullptr);
    window->resize(640, 420);
    window->show();
    qt::FlushForm(*ui, browser);
    bool shot = false;
    QTimer::singleShot(400, [&] {
        SaveShot(window, "views/busy.png");
        shot = true;
        browser.CmdCancelListing_Click();
    });
    const auto& items = browser.LVDataList.Items();
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].text == "nested") {
            browser.LVDataList.ClearSelection();
            browser.LVDataList.SetSelected(static_cast<long>(i + 1), true);
        }
    browser.LVDataList_DblClick();
    EXPECT_TRUE(shot);
    EXPECT_TRUE(browser.ListingCancelled());
    gate->Open();
    EXPECT_TRUE(browser::ListingsEnded(std::chrono::seconds(10)));
    ui->UnloadForm(browser);
    ResetProcessValues();
}

} // namespace
} // namespace marbrook::testing
