// The Qt views of the forms, under the offscreen platform: real widgets,
// real GDAL data, the form logic driven by synthetic mouse input.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include "SampleCatalogue.h"
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

using qt::ListViewWidget;

class QtViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcessValues();
        qt::EnsureApplication();
        host::WriteSampleCatalogue(samples.Path());
        gis = gdal::NewGdalGis();
        ui = qt::NewQtUi(&qt::MakeFormView);
        platform = std::make_unique<Platform>(Platform{*gis, *ui, system});
    }
    void TearDown() override {
        form.reset();
        ResetProcessValues();
    }

    // The browser listing the sample folder, its view created and up to date.
    frmOpenDialog& OpenSamples() {
        form = std::make_unique<frmOpenDialog>(*platform);
        gsCurDir = samples.Path();
        std::string unused;
        form->InitDataList(unused);
        ui->HandleOf(*form); // loads the form and makes its view
        Sync();
        return *form;
    }
    void Sync() {
        qt::FlushForm(*ui, *form);
        QApplication::processEvents();
    }
    template <class W>
    W* Widget(const char* name) {
        QWidget* window = qt::FormWindow(*ui, *form);
        EXPECT_NE(window, nullptr);
        return window ? window->findChild<W*>(QString::fromLatin1(name)) : nullptr;
    }
    ListViewWidget* List() { return Widget<ListViewWidget>("LVDataList"); }
    QStringList ListTexts() {
        QStringList out;
        QStandardItemModel* m = List()->Model();
        for (int r = 0; r < m->rowCount(); ++r) out << m->item(r, 0)->text();
        return out;
    }
    int RowOf(const QString& text) { return ListTexts().indexOf(text); }
    // Shows the window and lets the list lay its items out.
    QAbstractItemView* ShownList() {
        qt::FormWindow(*ui, *form)->show();
        QApplication::processEvents();
        QAbstractItemView* view = List()->Current();
        view->doItemsLayout();
        return view;
    }
    QPoint CentreOf(QAbstractItemView* view, int row) {
        return view->visualRect(List()->Model()->index(row, 0)).center();
    }
    void Click(const char* name) {
        auto* b = Widget<QAbstractButton>(name);
        ASSERT_NE(b, nullptr) << name;
        QTest::mouseClick(b, Qt::LeftButton);
        Sync();
    }

    IsolatedHome home;
    TempDir samples;
    FakeSystem system;
    std::unique_ptr<gis::GisService> gis;
    std::unique_ptr<ui::UiService> ui;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<frmOpenDialog> form;
};

TEST_F(QtViewTest, BrowserShowsItsCaptionsAndToolTips) {
    OpenSamples();
    struct Row {
        const char* control;
        const char* caption; // label text or button text, nullptr when not shown as text
        const char* toolTip;
    };
    const Row rows[] = {
        {"LblLocation", "查找位置", ""},
        {"CmdUpLocation", nullptr, "回到上一级目录"},
        {"OptThumbs", nullptr, "大图标方式"},
        {"OptReport", nullptr, "列表方式"},
        {"OptList", nullptr, "图标方式"},
        {"LblSelectName", "选择的数据名", ""},
        {"TxtDataName", nullptr, "选择的数据名"},
        {"LblFilterType", "过滤数据类型", ""},
        {"ComboFilter", nullptr, "过滤数据类型"},
        {"CmdAddData", "添加(&A)", "添加"},
        {"CmdCancel", "取消(&C)", "取消"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.control);
        QWidget* w = Widget<QWidget>(r.control);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->toolTip(), QString::fromUtf8(r.toolTip));
        if (!r.caption) continue;
        if (auto* l = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(l->text(), QString::fromUtf8(r.caption));
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(b->text(), QString::fromUtf8(r.caption));
        }
    }
    // Picture buttons show their pictures; the three unused buttons stay hidden.
    for (const char* name : {"CmdUpLocation", "OptThumbs", "OptReport", "OptList"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(Widget<QAbstractButton>(name)->icon().isNull());
    }
    for (const char* name : {"CmdConnectLocation", "CmdDisConnectLocation", "CmdAddLocation"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(Widget<QWidget>(name)->isHidden());
    }
    EXPECT_EQ(qt::FormWindow(*ui, *form)->windowTitle(), QString::fromUtf8("添加数据"));
    EXPECT_TRUE(Widget<QAbstractButton>("OptList")->isChecked());
}

TEST_F(QtViewTest, DoubleClickOnAFolderItemOpensIt) {
    OpenSamples();
    const int row = RowOf(QStringLiteral("nested"));
    ASSERT_GE(row, 0) << ListTexts().join(QLatin1Char(',')).toStdString();
    QAbstractItemView* view = ShownList();
    // A double-click is a click followed by a second press within the interval.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CentreOf(view, row));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, CentreOf(view, row));
    Sync();
    // The double-click reached the form: it opened the folder and put it
    // into the location list.
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("rivers")});
    EXPECT_EQ(Widget<QComboBox>("ComboLocation")->currentText(), QStringLiteral("nested"));
    EXPECT_EQ(form->CurNode().DataName, "nested");
}

TEST_F(QtViewTest, ItemClickSelectsAndNamesTheItem) {
    OpenSamples();
    const int row = RowOf(QStringLiteral("roads.shp"));
    ASSERT_GE(row, 0);
    QAbstractItemView* view = ShownList();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CentreOf(view, row));
    Sync();
    EXPECT_EQ(form->LVDataList.SelectedIndex(), row + 1);
    EXPECT_EQ(Widget<QLineEdit>("TxtDataName")->text(), QStringLiteral("roads.shp"));
}

TEST_F(QtViewTest, ReportViewShowsThreeColumns) {
    OpenSamples();
    Click("OptReport");
    ListViewWidget* list = List();
    ASSERT_EQ(list->Current(), list->Report());
    QStandardItemModel* m = list->Model();
    ASSERT_EQ(m->columnCount(), 3);
    EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), QString::fromUtf8("数据名"));
    EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("数据别名"));
    EXPECT_EQ(m->headerData(2, Qt::Horizontal).toString(), QString::fromUtf8("数据类型"));
    const int roads = RowOf(QStringLiteral("roads.shp"));
    ASSERT_GE(roads, 0);
    EXPECT_EQ(m->item(roads, 2)->text(), QStringLiteral("Shape File"));
    // Widths follow the list's width: a third each, 320 twips less for the last.
    const int third = list->Report()->columnWidth(0);
    EXPECT_GT(third, 0);
    EXPECT_NEAR(list->Report()->columnWidth(2), third - 320 / 15, 1);
    // Pressing the button again rebuilds the columns, never adds to them.
    Click("OptReport");
    EXPECT_EQ(List()->Model()->columnCount(), 3);
    EXPECT_TRUE(Widget<QAbstractButton>("OptReport")->isChecked());
    EXPECT_FALSE(Widget<QAbstractButton>("OptList")->isChecked());
}

TEST_F(QtViewTest, SwitchingViewsKeepsTheItems) {
    OpenSamples();
    const QStringList before = ListTexts();
    ASSERT_GE(before.size(), 5);
    struct Step {
        const char* button;
        int mode;
        int iconSize;
    };
    for (const Step& s : {Step{"OptThumbs", 0, 32}, Step{"OptReport", 3, 16}, Step{"OptList", 2, 16}}) {
        SCOPED_TRACE(s.button);
        Click(s.button);
        EXPECT_EQ(form->LVDataList.View(), s.mode);
        EXPECT_EQ(List()->Mode(), s.mode);
        EXPECT_EQ(List()->Current()->iconSize(), QSize(s.iconSize, s.iconSize));
        EXPECT_EQ(ListTexts(), before);
        // Every listed item shows the picture of its data type.
        for (int r = 0; r < List()->Model()->rowCount(); ++r)
            EXPECT_FALSE(List()->Model()->item(r, 0)->icon().isNull()) << r;
    }
}

TEST_F(QtViewTest, LocationComboShowsIndentationAndIcons) {
    OpenSamples();
    auto* combo = Widget<QComboBox>("ComboLocation");
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), static_cast<int>(form->ComboLocation.Count()));
    ASSERT_GE(combo->count(), 3);
    for (int i = 0; i < combo->count(); ++i) {
        SCOPED_TRACE(i);
        const auto& item = form->ComboLocation.At(i + 1);
        EXPECT_EQ(combo->itemText(i).toStdString(), item.text);
        EXPECT_EQ(combo->itemData(i, qt::kIndentationRole).toInt(), item.indentation);
        EXPECT_FALSE(combo->itemIcon(i).isNull());
    }
    // The root is not indented; the sample folder, deep in the tree, is.
    EXPECT_EQ(combo->itemData(0, qt::kIndentationRole).toInt(), 0);
    const QString leaf = QString::fromStdString(std::filesystem::path(samples.Path()).filename().string());
    EXPECT_EQ(combo->currentText(), leaf);
    EXPECT_GE(combo->itemData(combo->currentIndex(), qt::kIndentationRole).toInt(), 2);
    // The indented entry is drawn further right than the root in the popup.
    QStyleOptionViewItem option;
    option.initFrom(combo->view());
    const int rootWidth = combo->itemDelegate()->sizeHint(option, combo->model()->index(0, 0)).width();
    const int leafWidth = combo->itemDelegate()->sizeHint(option, combo->model()->index(combo->currentIndex(), 0)).width();
    EXPECT_GT(leafWidth, rootWidth - 40 + qt::kIndentPixels);
}

TEST_F(QtViewTest, ModalShowReturnsWhenTheFormHidesItself) {
    OpenSamples();
    form->mbOKClick = true;
    QTimer::singleShot(0, [this] {
        auto* cancel = Widget<QAbstractButton>("CmdCancel");
        if (cancel) QTest::mouseClick(cancel, Qt::LeftButton);
    });
    ui->ShowForm(*form, true, ui::kNoParent);
    EXPECT_FALSE(form->mbOKClick);
    EXPECT_FALSE(form->IsVisible());
    EXPECT_FALSE(qt::FormWindow(*ui, *form)->isVisible());
}

TEST_F(QtViewTest, CloseBoxEndsTheShowWithoutAHandler) {
    OpenSamples();
    form->mbOKClick = true;
    QTimer::singleShot(0, [this] { qt::FormWindow(*ui, *form)->close(); });
    ui->ShowForm(*form, true, ui::kNoParent);
    EXPECT_TRUE(form->mbOKClick); // no handler ran
    EXPECT_FALSE(form->IsVisible());
}

TEST_F(QtViewTest, UnloadDuringTheShowEndsItAndDropsTheView) {
    OpenSamples();
    QTimer::singleShot(0, [this] { ui->UnloadForm(*form); });
    ui->ShowForm(*form, true, ui::kNoParent);
    EXPECT_FALSE(form->IsVisible());
    EXPECT_FALSE(form->IsLoaded());
    EXPECT_EQ(qt::FormWindow(*ui, *form), nullptr);
    // Touching the form again loads it and gives it a new view.
    ui->HandleOf(*form);
    EXPECT_TRUE(form->IsLoaded());
    ASSERT_NE(qt::FormWindow(*ui, *form), nullptr);
    form->TxtDataName.SetText("again");
    Sync();
    EXPECT_EQ(Widget<QLineEdit>("TxtDataName")->text(), QStringLiteral("again"));
}

TEST_F(QtViewTest, MessageBoxHasTheIconTitleAndOneButton) {
    struct Seen {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
    } seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen = {box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size())};
        box->button(QMessageBox::Ok)->click();
    });
    ui->MessageBox("服务器名字不能为空.", ui::MessageIcon::Critical, "VERDANTA");
    EXPECT_EQ(seen.title, QStringLiteral("VERDANTA"));
    EXPECT_EQ(seen.text, QString::fromUtf8("服务器名字不能为空."));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, 1);
}

TEST_F(QtViewTest, BusyPointerIsRestoredToDefault) {
    ui->SetMousePointer(ui::MousePointer::ArrowHourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
    ui->SetMousePointer(ui::MousePointer::Hourglass);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ui->SetMousePointer(ui::MousePointer::Default);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(QtViewTest, NewConnectionFormBindsTextsBothWays) {
    frmOpenWorkspace conn(*platform);
    ui->HandleOf(conn);
    qt::FlushForm(*ui, conn);
    QWidget* window = qt::FormWindow(*ui, conn);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("创建新的数据库连接"));
    auto* service = window->findChild<QLineEdit*>(QStringLiteral("txtService"));
    auto* pwd = window->findChild<QLineEdit*>(QStringLiteral("txtPWD"));
    auto* test = window->findChild<QAbstractButton*>(QStringLiteral("CmdTextConn"));
    auto* check = window->findChild<QAbstractButton*>(QStringLiteral("ChkUserPwd"));
    auto* frame = window->findChild<QGroupBox*>(QStringLiteral("Frame1"));
    ASSERT_TRUE(service && pwd && test && check && frame);
    EXPECT_EQ(service->text().toStdString(), conn.txtService.Text());
    EXPECT_EQ(service->toolTip(), QString::fromUtf8("输入服务名"));
    EXPECT_EQ(pwd->echoMode(), QLineEdit::Password);
    EXPECT_EQ(frame->title(), QString::fromUtf8("帐户"));
    EXPECT_FALSE(test->isEnabled());
    // Ticking the check box runs its handler, which enables the test button.
    window->show();
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, check->height() / 2));
    qt::FlushForm(*ui, conn);
    EXPECT_EQ(conn.ChkUserPwd.Value(), 1);
    EXPECT_TRUE(test->isEnabled());
    // Typing reaches the control and its Change handler.
    conn.LblVersions.SetCaption("sde.EDIT");
    auto* server = window->findChild<QLineEdit*>(QStringLiteral("txtServer"));
    QTest::keyClicks(server, QStringLiteral("db1"));
    qt::FlushForm(*ui, conn);
    EXPECT_EQ(conn.txtServer.Text(), "db1");
    EXPECT_EQ(conn.LblVersions.Caption(), "sde.DEFAULT");
    ui->UnloadForm(conn);
}

TEST_F(QtViewTest, ViewOfADestroyedFormIsDroppedSafely) {
    auto temporary = std::make_unique<frmOpenWorkspace>(*platform);
    ui->HandleOf(*temporary);
    ASSERT_NE(qt::FormWindow(*ui, *temporary), nullptr);
    ui::Form* address = temporary.get();
    temporary.reset(); // destroyed without being unloaded
    QApplication::processEvents();
    EXPECT_EQ(qt::FormWindow(*ui, *address), nullptr);
}

} // namespace
} // namespace marbrook::testing
