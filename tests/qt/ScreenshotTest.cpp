// Screenshots of the dialogs, saved into the build folder for a person to
// look at: the browser listing the sample folder in report view, and the
// new-connection form.
#include <gtest/gtest.h>

#include <algorithm>
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
#include "tests/doubles/BrowserScript.h"
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

// The sample catalogue in a folder of its own, and the browser over it on
// the real GDAL back end with the Qt views, in a home of its own.
struct ShotWorld {
    ShotWorld() {
        ResetProcessValues();
        qt::EnsureApplication();
        host::WriteSampleCatalogue(samples.Path());
    }
    ~ShotWorld() {
        ui->UnloadForm(browser);
        ResetProcessValues();
    }
    // Lists the location `remembered` as COpenLayerDlg starts the browser.
    void Open(const std::string& remembered) {
        gsCurDir = remembered;
        std::string unused;
        browser.InitDataList(unused);
        browser.SetFilterType(0);
    }
    // The browser's window, shown; `width` x `height` when given.
    QWidget* Show(int width = 0, int height = 0) {
        ui->HandleOf(browser);
        QWidget* window = qt::FormWindow(*ui, browser);
        if (!window) return nullptr;
        if (width > 0) window->resize(width, height);
        window->show();
        qt::FlushForm(*ui, browser);
        return window;
    }
    // A click on the view button `button` (OptThumbs, OptList, OptReport).
    void PressView(QWidget* window, const char* button) {
        QTest::mouseClick(window->findChild<QAbstractButton*>(QString::fromLatin1(button)), Qt::LeftButton);
        qt::FlushForm(*ui, browser);
    }

    IsolatedHome home;
    TempDir samples;
    FakeSystem system;
    std::unique_ptr<gis::GisService> gis = gdal::NewGdalGis();
    std::unique_ptr<ui::UiService> ui = qt::NewQtUi(&qt::MakeFormView);
    Platform platform{*gis, *ui, system};
    frmOpenDialog browser{platform};
};

TEST(DialogScreenshots, BrowserInReportViewAndNewConnectionForm) {
    ShotWorld w;
    w.Open(w.samples.Path());
    QWidget* window = w.Show();
    ASSERT_NE(window, nullptr);
    w.PressView(window, "OptReport");
    ASSERT_EQ(w.browser.LVDataList.View(), 3);
    ASSERT_GE(w.browser.LVDataList.Count(), 5);
    SaveShot(window, "open-dialog-report.png");
    // The large icons, one picture per kind of data.
    w.PressView(window, "OptThumbs");
    ASSERT_EQ(w.browser.LVDataList.View(), 0);
    SaveShot(window, "open-dialog-icons.png");

    // The location list open, with its indented entries and their pictures.
    auto* combo = window->findChild<QComboBox*>(QStringLiteral("ComboLocation"));
    ASSERT_NE(combo, nullptr);
    combo->showPopup();
    QApplication::processEvents();
    SaveShot(combo->view()->window(), "location-list.png");
    combo->hidePopup();

    frmOpenWorkspace connection(w.platform);
    w.ui->HandleOf(connection);
    qt::FlushForm(*w.ui, connection);
    SaveShot(qt::FormWindow(*w.ui, connection), "new-connection.png");
    w.ui->UnloadForm(connection);
}

// Each view of the list (large icons, list, report) at the root volume "/"
// and inside a drawing, as a user sees them: for a person to compare.
TEST(DialogScreenshots, EachViewAtTheRootVolumeAndInADrawing) {
    ShotWorld w;
    w.browser.LVDataList.SetMultiSelect(true);
    struct Place {
        const char* name;
        std::string remembered;
    };
    for (const Place& place : {Place{"root", "/"}, Place{"drawing", w.samples.Path() + "/site-plan.dxf"}}) {
        SCOPED_TRACE(place.name);
        w.Open(place.remembered);
        // Where the replay stops beside the drawing, the user opens it.
        const std::vector<std::string> names = ItemNames(w.browser);
        if (std::string(place.name) == "drawing" && std::count(names.begin(), names.end(), "site-plan.dxf")) {
            ASSERT_TRUE(DoubleClick(w.browser, "site-plan.dxf"));
        }
        ASSERT_GE(w.browser.LVDataList.Count(), 3);
        QWidget* window = w.Show(640, 420);
        ASSERT_NE(window, nullptr);
        // The browser's own view, not the plain one of a form without a view.
        ASSERT_NE(window->findChild<qt::ListViewWidget*>(QStringLiteral("LVDataList")), nullptr);
        struct View {
            const char* button;
            const char* file;
        };
        for (const View& v : {View{"OptThumbs", "icons"}, View{"OptList", "list"}, View{"OptReport", "report"}}) {
            w.PressView(window, v.button);
            QApplication::processEvents();
            const std::string file = std::string("views/") + place.name + "-" + v.file + ".png";
            SaveShot(window, file.c_str());
        }
    }
}

// The dialog while a slow folder lists: the busy bar and 取消 below the list.
TEST(DialogScreenshots, AFolderThatTakesLongToList) {
    ShotWorld w;
    auto gate = std::make_shared<Gate>();
    w.system.slowFolders[w.samples.Path() + "/nested"] = gate;
    w.Open(w.samples.Path());
    QWidget* window = w.Show(640, 420);
    ASSERT_NE(window, nullptr);
    bool shot = false;
    QTimer::singleShot(400, [&] {
        SaveShot(window, "views/busy.png");
        shot = true;
        w.browser.CmdCancelListing_Click();
    });
    ASSERT_TRUE(SelectItems(w.browser, {"nested"}));
    w.browser.LVDataList_DblClick();
    EXPECT_TRUE(shot);
    EXPECT_TRUE(w.browser.ListingCancelled());
    gate->Open();
    EXPECT_TRUE(browser::ListingsEnded(std::chrono::seconds(10)));
}

} // namespace
} // namespace marbrook::testing
