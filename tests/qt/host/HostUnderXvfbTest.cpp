// The demo host on a real (virtual) X display: it loads libmarbrook.so with
// dlopen, and synthetic mouse input adds a shapefile layer through the
// library's dialog. Run by run-under-xvfb.sh.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "ComponentLoader.h"
#include "FirstStart.h"
#include "HostWindow.h"
#include "SampleCatalogue.h"

namespace {

namespace fs = std::filesystem;

// A fresh home for the library's settings, data and error log.
struct FreshHome {
    fs::path root;
    FreshHome() {
        root = fs::temp_directory_path() / ("marbrook-host-test-" + std::to_string(::getpid()));
        fs::remove_all(root);
        for (const char* sub : {"config", "data", "lib"}) fs::create_directories(root / sub);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        setenv("MARBROOK_HOME", (root / "lib").c_str(), 1);
    }
    ~FreshHome() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

QWidget* VisibleWindow(const char* objectName) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == QLatin1String(objectName)) return w;
    return nullptr;
}

// Runs `step` every 50 ms until it returns true or 10 s have passed.
void Poll(std::function<bool()> step, bool& timedOut) {
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, step, started, &timedOut] {
        if (step()) {
            timer->deleteLater();
            timer->stop();
        } else if (started->elapsed() > 10000) {
            timedOut = true;
            timer->stop();
            timer->deleteLater();
            // Give up: close whatever is open so the test can report.
            if (QWidget* d = VisibleWindow("frmOpenDialog")) d->close();
        }
    });
    timer->start(50);
}

// Plays the user while the modal dialog runs: double-clicks the list item
// named `name` once the dialog lists it.
void DoubleClickWhenListed(const QString& name, bool& clicked, bool& timedOut) {
    Poll([&clicked, name] {
        QWidget* dialog = VisibleWindow("frmOpenDialog");
        if (!dialog) return false;
        for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
            if (!view->isVisible() || !view->model()) continue;
            for (int r = 0; r < view->model()->rowCount(); ++r) {
                const QModelIndex idx = view->model()->index(r, 0);
                if (idx.data().toString() != name) continue;
                view->scrollTo(idx);
                const QPoint at = view->visualRect(idx).center();
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
                clicked = true;
                return true;
            }
        }
        return false;
    }, timedOut);
}

TEST(HostUnderXvfb, AddsAShapefileLayerThroughTheDialog) {
    FreshHome home;
    const std::string samples = marbrook::host::SampleFolder();
    marbrook::host::WriteSampleCatalogue(samples);
    ASSERT_TRUE(marbrook::host::RememberLocationIfUnset(marbrook::host::RememberedLocationFile(), samples));

    marbrook::host::ComponentLoader loader(MARBROOK_LIBRARY_FILE);
    ASSERT_TRUE(loader.Loaded()) << loader.Error();
    {
        marbrook::host::HostWindow window(loader);
        ASSERT_TRUE(window.Ready()) << window.Pane()->toPlainText().toStdString();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

        // While the modal dialog runs inside the click below, this plays the
        // user: find the shapefile in the list and double-click it.
        bool timedOut = false;
        bool clicked = false;
        DoubleClickWhenListed(QStringLiteral("roads.shp"), clicked, timedOut);
        QTest::mouseClick(window.findChild<QAbstractButton*>(QStringLiteral("AddData")), Qt::LeftButton);

        EXPECT_FALSE(timedOut) << "the dialog never listed roads.shp";
        EXPECT_TRUE(clicked);
        EXPECT_EQ(VisibleWindow("frmOpenDialog"), nullptr) << "the dialog stayed open";
        QTreeWidget* layers = window.LayerList();
        ASSERT_EQ(layers->topLevelItemCount(), 1) << window.Pane()->toPlainText().toStdString();
        EXPECT_EQ(layers->topLevelItem(0)->text(1), QStringLiteral("roads"));
        EXPECT_EQ(layers->topLevelItem(0)->text(2), QStringLiteral("lines"));
        EXPECT_FALSE(layers->topLevelItem(0)->icon(1).isNull());

        // Re-point the layer through the dialog; the report line lands in the
        // host's text pane through its SelText control.
        layers->setCurrentItem(layers->topLevelItem(0));
        bool clicked2 = false;
        bool timedOut2 = false;
        DoubleClickWhenListed(QStringLiteral("roads.shp"), clicked2, timedOut2);
        QTest::mouseClick(window.findChild<QAbstractButton*>(QStringLiteral("Repoint")), Qt::LeftButton);
        EXPECT_TRUE(clicked2 && !timedOut2);
        EXPECT_TRUE(window.Pane()->toPlainText().contains(QString::fromUtf8("修改【roads】数据源成功！")))
            << window.Pane()->toPlainText().toStdString();
        EXPECT_EQ(layers->topLevelItemCount(), 1);
        // The layer's source is the whole file.
        EXPECT_EQ(layers->topLevelItem(0)->text(3), QString::fromStdString(samples + "/roads.shp"));

        // A raster cannot be a feature layer's source: refused with a
        // message, the layer left as it was.
        layers->setCurrentItem(layers->topLevelItem(0));
        bool clicked3 = false, timedOut3 = false;
        QString refusal;
        DoubleClickWhenListed(QStringLiteral("elevation.tif"), clicked3, timedOut3);
        Poll([&refusal] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    refusal = box->text();
                    box->button(QMessageBox::Ok)->click();
                    return true;
                }
            return false;
        }, timedOut3);
        QTest::mouseClick(window.findChild<QAbstractButton*>(QStringLiteral("Repoint")), Qt::LeftButton);
        QTest::qWait(100); // the polls' timers go (they delete themselves later)
        EXPECT_TRUE(clicked3 && !timedOut3);
        EXPECT_TRUE(refusal.contains(QStringLiteral("not a feature class"))) << refusal.toStdString();
        ASSERT_EQ(layers->topLevelItemCount(), 1);
        EXPECT_EQ(layers->topLevelItem(0)->text(2), QStringLiteral("lines")) << "still connected";
        EXPECT_EQ(layers->topLevelItem(0)->text(3), QString::fromStdString(samples + "/roads.shp"));
        EXPECT_FALSE(window.Pane()->toPlainText().contains(QString::fromUtf8("目标数据库中不存在该图层")));
        fs::create_directories(MARBROOK_ARTIFACTS_DIR);
        window.grab().save(QStringLiteral(MARBROOK_ARTIFACTS_DIR "/host-with-layer.png"), "PNG");
    }
    EXPECT_TRUE(loader.CanUnloadNow());
}

TEST(HostSettings, TheDatabaseToggleWritesTheDataSourceTypeTheLibraryReads) {
    FreshHome home;
    marbrook::host::ComponentLoader loader(MARBROOK_LIBRARY_FILE);
    ASSERT_TRUE(loader.Loaded()) << loader.Error();
    marbrook::host::HostWindow window(loader);
    QAction* toggle = window.DatabasesAction();
    ASSERT_NE(toggle, nullptr);
    EXPECT_FALSE(toggle->isChecked());
    const std::string file = marbrook::host::DataSourceTypeFile();
    EXPECT_EQ(file, (home.root / "config" / "marbrook" / "QM_VERDANTA.ini").string());
    toggle->trigger();
    EXPECT_EQ(marbrook::host::ReadSetting(file, "QM_DataSource", "Type"), "1");
    toggle->trigger();
    EXPECT_EQ(marbrook::host::ReadSetting(file, "qm_datasource", "TYPE"), "0");
    toggle->trigger();
    // A new window shows the stored choice.
    marbrook::host::HostWindow again(loader);
    EXPECT_TRUE(again.DatabasesAction()->isChecked());
}

TEST(HostFirstStart, PointsTheDialogAtTheSamplesOnlyWhenNoLocationIsStored) {
    FreshHome home;
    const fs::path file = home.root / "config" / "marbrook" / "VERDANTA.ini";
    struct Case {
        const char* name;
        const char* before; // nullptr: no file
        bool writes;
        const char* after;
    };
    const Case cases[] = {
        {"no file", nullptr, true, "[OPENDLG]\nCURDIR=/s\n"},
        {"other sections kept", "[X]\na=1\n", true, "[X]\na=1\n[OPENDLG]\nCURDIR=/s\n"},
        {"section without the key", "[opendlg]\nOther=2\n", true, "[opendlg]\nCURDIR=/s\nOther=2\n"},
        {"stored location wins", "[OPENDLG]\nCURDIR=/home/me/maps\n", false, "[OPENDLG]\nCURDIR=/home/me/maps\n"},
        {"an empty stored location is a choice too", "[OpenDlg]\n curdir = \n", false, "[OpenDlg]\n curdir = \n"},
        {"the key elsewhere does not count", "[OTHER]\nCURDIR=/x\n", true, "[OTHER]\nCURDIR=/x\n[OPENDLG]\nCURDIR=/s\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(file);
        if (c.before) {
            fs::create_directories(file.parent_path());
            std::ofstream(file) << c.before;
        }
        EXPECT_EQ(marbrook::host::RememberLocationIfUnset(file.string(), "/s"), c.writes);
        std::ifstream in(file);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, c.after);
    }
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
