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
#include <QHelpEvent>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QToolTip>

#include "SampleCatalogue.h"
#include "browser/Listing.h"
#include "connections/frmChangeVersion.h"
#include "browser/frmOpenDialog.h"
#include "connections/frmOpenWorkspace.h"
#include "interface/CLayerFunctionExport.h"
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
        // A listing the test left waiting must end before the services go.
        EXPECT_TRUE(browser::ListingsEnded(std::chrono::seconds(30)));
        form.reset();
        ResetProcessValues();
    }
    // The tooltip the list shows when the pointer rests on `row`, "" for none.
    QString ToolTipOf(QAbstractItemView* view, int row) {
        QToolTip::hideText();
        (void)QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000);
        const QPoint at = CentreOf(view, row);
        QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    // Runs `action` once the event loop turns again after `ms` milliseconds.
    static void After(int ms, std::function<void()> action) { QTimer::singleShot(ms, std::move(action)); }

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
        QAbstractItemModel* m = List()->Model();
        for (int r = 0; r < m->rowCount(); ++r) out << m->index(r, 0).data().toString();
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
    QAbstractItemModel* m = list->Model();
    ASSERT_EQ(m->columnCount(), 3);
    EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), QString::fromUtf8("数据名"));
    EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("数据别名"));
    EXPECT_EQ(m->headerData(2, Qt::Horizontal).toString(), QString::fromUtf8("数据类型"));
    const int roads = RowOf(QStringLiteral("roads.shp"));
    ASSERT_GE(roads, 0);
    EXPECT_EQ(m->index(roads, 2).data().toString(), QStringLiteral("Shape File"));
    // The name column takes the room the others leave, and follows the
    // window; the alias and kind columns are as wide as their contents need
    // (within the thirds the form gives them).
    QTreeView* report = list->Report();
    qt::FormWindow(*ui, *form)->resize(700, 420);
    qt::FormWindow(*ui, *form)->show();
    QApplication::processEvents();
    const int viewport = report->viewport()->width();
    EXPECT_NEAR(report->columnWidth(0) + report->columnWidth(1) + report->columnWidth(2), viewport, 2);
    const QFontMetrics metrics(report->font());
    EXPECT_GE(report->columnWidth(2), metrics.horizontalAdvance(QStringLiteral("RasterDataset")));
    EXPECT_LE(report->columnWidth(2), static_cast<int>(form->LVDataList.Width() / 3 - 320) / 15 + 1);
    EXPECT_GT(report->columnWidth(0), report->columnWidth(2));
    const int alias = report->columnWidth(1), kind = report->columnWidth(2), name = report->columnWidth(0);
    qt::FormWindow(*ui, *form)->resize(1000, 420);
    QApplication::processEvents();
    EXPECT_EQ(report->columnWidth(1), alias);
    EXPECT_EQ(report->columnWidth(2), kind);
    EXPECT_GT(report->columnWidth(0), name + 200);
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
            EXPECT_FALSE(List()->Model()->index(r, 0).data(Qt::DecorationRole).value<QIcon>().isNull()) << r;
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


// ---- Names get the room they need -------------------------------------------------

TEST_F(QtViewTest, ListColumnsAreAsWideAsTheirLongestNameAndACutNameShowsWholeInItsTooltip) {
    const std::string longName(120, 'n');
    for (const std::string& name : {std::string("a"), std::string("long_folder_name_2"), std::string("a_rather_long_folder_name_2026"), longName})
        std::filesystem::create_directories(samples.Path() + "/" + name);
    OpenSamples();
    auto* window = qt::FormWindow(*ui, *form);
    window->resize(640, 420);
    QAbstractItemView* view = ShownList();
    List()->List()->doItemsLayout();
    QApplication::processEvents();
    const QFontMetrics metrics(view->font());
    const int room = std::max(160, view->viewport()->width() - 40);
    ASSERT_EQ(List()->Mode(), 2);
    for (int row = 0; row < List()->Model()->rowCount(); ++row) {
        const QString text = List()->Model()->index(row, 0).data().toString();
        SCOPED_TRACE(text.toStdString());
        const QRect rect = view->visualRect(List()->Model()->index(row, 0));
        if (text.size() == 120) {
            // Longer than the list: cut, and whole in the tooltip.
            EXPECT_LT(rect.width(), metrics.horizontalAdvance(text));
            EXPECT_EQ(ToolTipOf(view, row), text);
        } else {
            // Never cut: the item is as wide as its name and icon, at least.
            EXPECT_GE(rect.width(), std::min(room, metrics.horizontalAdvance(text)) + 16);
            EXPECT_EQ(ToolTipOf(view, row), QString());
        }
    }

    // Large icons: a name wraps on two lines; only a longer one is cut.
    Click("OptThumbs");
    view = ShownList();
    QApplication::processEvents();
    for (const QString& text : {QStringLiteral("long_folder_name_2"), QStringLiteral("a_rather_long_folder_name_2026"),
                                QStringLiteral("site-plan.dxf")}) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(ToolTipOf(view, RowOf(text)), QString());
    }
    EXPECT_EQ(ToolTipOf(view, RowOf(QString::fromStdString(longName))), QString::fromStdString(longName));
}

// ---- The keyboard ---------------------------------------------------------------------

TEST_F(QtViewTest, ArrowsAndTypingSelectLikeClicksAndEnterOpensOrAdds) {
    OpenSamples();
    QAbstractItemView* view = ShownList();
    view->setFocus();
    auto* name = Widget<QLineEdit>("TxtDataName");
    auto* add = Widget<QAbstractButton>("CmdAddData");
    ASSERT_FALSE(add->isEnabled());
    // The first arrow selects the first item; the next ones move on.
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Down);
    Sync();
    const int row = view->currentIndex().row();
    ASSERT_GE(row, 0);
    const QString current = List()->Model()->index(row, 0).data().toString();
    EXPECT_EQ(name->text(), current);
    EXPECT_EQ(form->TxtDataName.Text(), current.toStdString());
    EXPECT_TRUE(add->isEnabled());
    EXPECT_EQ(form->SelDataList().size(), 2u);
    // Typing a name's beginning selects it, and the name box follows.
    QTest::keyClicks(view, QStringLiteral("poi"));
    Sync();
    EXPECT_EQ(name->text(), QStringLiteral("points.shp"));
    EXPECT_EQ(form->SelDataList()[1].DataName, "points.shp");

    // Enter on a folder opens it; Backspace goes back up.
    QTest::qWait(QApplication::keyboardInputInterval() + 50); // a new search, not "poines"
    QTest::keyClicks(view, QStringLiteral("nes"));
    Sync();
    ASSERT_EQ(name->text(), QStringLiteral("nested"));
    QTest::keyClick(view, Qt::Key_Return);
    Sync();
    EXPECT_EQ(Widget<QComboBox>("ComboLocation")->currentText(), QStringLiteral("nested"));
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("rivers")});
    view = List()->Current();
    QTest::keyClick(view, Qt::Key_Backspace);
    Sync();
    EXPECT_EQ(Widget<QComboBox>("ComboLocation")->currentText(),
              QString::fromStdString(std::filesystem::path(samples.Path()).filename().string()));
    // Alt+Up goes up from anywhere in the dialog, the name box included.
    QTest::keyClick(name, Qt::Key_Up, Qt::AltModifier);
    Sync();
    EXPECT_NE(Widget<QComboBox>("ComboLocation")->currentText(),
              QString::fromStdString(std::filesystem::path(samples.Path()).filename().string()));
}

TEST_F(QtViewTest, EnterOnADatasetAddsItAndEscapeCancelsTheDialog) {
    OpenSamples();
    form->mbOKClick = false;
    bool focusedOnList = false;
    After(50, [&] {
        focusedOnList = QApplication::focusWidget() == List()->Current();
        QAbstractItemView* view = List()->Current();
        QTest::keyClicks(view, QStringLiteral("roa"));
        QTest::keyClick(view, Qt::Key_Enter);
    });
    ui->ShowForm(*form, true, ui::kNoParent);
    EXPECT_TRUE(focusedOnList) << "the data list has the focus when the dialog opens";
    EXPECT_TRUE(form->mbOKClick);
    ASSERT_EQ(form->SelDataList().size(), 2u);
    EXPECT_EQ(form->SelDataList()[1].DataName, "roads.shp");
    EXPECT_NE(form->SelDataList()[1].pDataSetObj, nullptr);

    form->mbOKClick = true;
    After(50, [&] { QTest::keyClick(List()->Current(), Qt::Key_Escape); });
    ui->ShowForm(*form, true, ui::kNoParent);
    EXPECT_FALSE(form->mbOKClick) << "Escape is the cancel button";
    EXPECT_FALSE(form->IsVisible());
}

TEST_F(QtViewTest, TabFollowsTheLayoutAndATypedPathIsGoneTo) {
    OpenSamples();
    ShownList();
    auto* window = qt::FormWindow(*ui, *form);
    QStringList chain;
    QWidget* w = Widget<QWidget>("ComboLocation");
    for (int i = 0; i < 80 && w; ++i) {
        if (w->isVisible() && (w->focusPolicy() & Qt::TabFocus)) chain << w->objectName();
        w = w->nextInFocusChain();
        if (w == Widget<QWidget>("ComboLocation")) break;
    }
    const QStringList expected{QStringLiteral("ComboLocation"), QStringLiteral("CmdUpLocation"), QStringLiteral("OptThumbs"),
                               QStringLiteral("OptReport"),     QStringLiteral("OptList"),       QStringLiteral("LVDataList.list"),
                               QStringLiteral("TxtDataName"),   QStringLiteral("CmdAddData"),    QStringLiteral("ComboFilter"),
                               QStringLiteral("CmdCancel")};
    EXPECT_EQ(chain.mid(0, expected.size()), expected) << chain.join(QLatin1Char(' ')).toStdString();

    // A path typed (or pasted) into the name box, then Enter.
    auto* name = Widget<QLineEdit>("TxtDataName");
    name->setFocus();
    name->clear();
    QTest::keyClicks(name, QString::fromStdString(samples.Path() + "/nested/rivers"));
    QTest::keyClick(name, Qt::Key_Return);
    Sync();
    EXPECT_EQ(Widget<QComboBox>("ComboLocation")->currentText(), QStringLiteral("rivers"));
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("rivers.shp")});
    (void)window;
}

TEST_F(QtViewTest, ConnectionFormsConfirmWithEnterAndCancelWithEscape) {
    frmOpenWorkspace conn(*platform);
    ui->HandleOf(conn);
    qt::FlushForm(*ui, conn);
    QWidget* window = qt::FormWindow(*ui, conn);
    ASSERT_NE(window, nullptr);
    auto* ok = window->findChild<QPushButton*>(QStringLiteral("CmdOK"));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    // Enter in a field is the OK button: an empty server is refused.
    QString seen;
    After(30, [&] {
        auto* server = window->findChild<QLineEdit*>(QStringLiteral("txtServer"));
        server->setFocus();
        QTimer::singleShot(30, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen = box->text();
                box->button(QMessageBox::Ok)->click();
            }
            QTimer::singleShot(30, [&] { QTest::keyClick(window, Qt::Key_Escape); });
        });
        QTest::keyClick(server, Qt::Key_Return);
    });
    conn.mbOkClik = true;
    ui->ShowForm(conn, true, ui::kNoParent);
    EXPECT_EQ(seen, QString::fromUtf8("服务器名字不能为空."));
    EXPECT_FALSE(conn.mbOkClik) << "Escape ran the cancel button";
    EXPECT_FALSE(conn.IsVisible());
    ui->UnloadForm(conn);

    frmChangeVersion version(*platform);
    ui->HandleOf(version);
    qt::FlushForm(*ui, version);
    auto* versionOk = qt::FormWindow(*ui, version)->findChild<QPushButton*>(QStringLiteral("CmdOK"));
    ASSERT_NE(versionOk, nullptr);
    EXPECT_TRUE(versionOk->isDefault());
    ui->UnloadForm(version);
}

// ---- The report view -----------------------------------------------------------------

TEST_F(QtViewTest, AClickOnAReportHeaderSortsAndASecondTurnsTheOrder) {
    OpenSamples();
    Click("OptReport");
    QTreeView* report = List()->Report();
    qt::FormWindow(*ui, *form)->show();
    QApplication::processEvents();
    QHeaderView* header = report->header();
    const auto clickHeader = [&](int section) {
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        Sync();
    };
    clickHeader(2);
    EXPECT_EQ(ListTexts(), (QStringList{QStringLiteral("site-plan.dxf"), QStringLiteral("elevation.tif"),
                                        QStringLiteral("parcels.shp"), QStringLiteral("points.shp"),
                                        QStringLiteral("roads.shp"), QStringLiteral("nested")}));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 2);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    clickHeader(2);
    EXPECT_EQ(ListTexts().first(), QStringLiteral("nested"));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    // A click on an item after sorting names that item.
    const int row = RowOf(QStringLiteral("points.shp"));
    QTest::mouseClick(report->viewport(), Qt::LeftButton, {}, report->visualRect(List()->Model()->index(row, 0)).center());
    Sync();
    EXPECT_EQ(Widget<QLineEdit>("TxtDataName")->text(), QStringLiteral("points.shp"));
    EXPECT_EQ(form->SelDataList()[1].DataFullName, samples.Path() + "/points.shp");
}

// ---- Adding -----------------------------------------------------------------------------

// The browser window shown by a modal show the test does not hold the form of.
QWidget* ShownBrowser() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->findChild<ListViewWidget*>(QStringLiteral("LVDataList"))) return w;
    return nullptr;
}

TEST_F(QtViewTest, AddOpensAFolderChosenAloneAndTellsWhatGaveNoLayer) {
    std::filesystem::create_directories(samples.Path() + "/empty");
    CLayerFunctionExport layers(*platform);
    struct Seen {
        QString locationAfterAdd;
        bool openAfterFolder = false;
        QStringList messages;
        bool openAfterNothing = false;
    } seen;
    QTimer answer; // answers every message box, remembering its text
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.messages << box->text();
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        }
    });
    answer.start(20);
    const auto list = [] { return ShownBrowser()->findChild<ListViewWidget*>(QStringLiteral("LVDataList")); };
    const auto rowOf = [&](const QString& text) {
        QAbstractItemModel* m = list()->Model();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->index(r, 0).data().toString() == text) return r;
        return -1;
    };
    const auto click = [&](const QString& text, Qt::KeyboardModifiers mods = {}) {
        QAbstractItemView* view = list()->Current();
        view->doItemsLayout();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, mods,
                          view->visualRect(list()->Model()->index(rowOf(text), 0)).center());
        QApplication::processEvents();
    };
    const auto add = [] {
        QApplication::processEvents();
        QTest::mouseClick(ShownBrowser()->findChild<QAbstractButton*>(QStringLiteral("CmdAddData")), Qt::LeftButton);
    };
    const auto location = [] { return ShownBrowser()->findChild<QComboBox*>(QStringLiteral("ComboLocation"))->currentText(); };
    const auto waitListed = [&](const QString& text) { return QTest::qWaitFor([&] { return rowOf(text) >= 0; }, 10000); };

    std::optional<Collection> got;
    const auto play = [&] {
        if (!ShownBrowser()) return;
        if (!waitListed(QStringLiteral("nested"))) {
            ADD_FAILURE() << "the dialog shows " << location().toStdString() << ", not the samples";
            return;
        }
        // A folder selected alone: 打开 opens it, the dialog stays.
        click(QStringLiteral("nested"));
        add();
        if (!waitListed(QStringLiteral("rivers"))) {
            ADD_FAILURE() << location().toStdString() << " " << ShownBrowser()->findChild<QLineEdit*>(QStringLiteral("TxtDataName"))->text().toStdString()
                          << " enabled " << ShownBrowser()->findChild<QAbstractButton*>(QStringLiteral("CmdAddData"))->isEnabled();
            return;
        }
        seen.locationAfterAdd = location();
        seen.openAfterFolder = ShownBrowser() != nullptr;
        QTest::keyClick(list()->Current(), Qt::Key_Backspace);
        if (!waitListed(QStringLiteral("empty"))) return;
        // Two folders: nothing becomes a layer, the user is told, the dialog stays.
        click(QStringLiteral("empty"));
        click(QStringLiteral("nested"), Qt::ControlModifier);
        add();
        QTest::qWait(100);
        seen.openAfterNothing = ShownBrowser() != nullptr;
        // A folder and two shapefiles: the shapefiles are added, the folder named.
        click(QStringLiteral("roads.shp"));
        click(QStringLiteral("points.shp"), Qt::ControlModifier);
        click(QStringLiteral("empty"), Qt::ControlModifier);
        add();
    };
    After(100, [&] {
        play();
        // Whatever went wrong above, the dialog ends.
        if (QWidget* still = ShownBrowser()) QTest::keyClick(still, Qt::Key_Escape);
    });
    // The dialog opens where it was last left.
    system.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", samples.Path());
    got = layers.GetLayersByDlg(gis::kNoWindow, true, samples.Path());
    answer.stop();
    EXPECT_EQ(seen.locationAfterAdd, QStringLiteral("nested"));
    EXPECT_TRUE(seen.openAfterFolder);
    EXPECT_TRUE(seen.openAfterNothing);
    ASSERT_EQ(seen.messages.size(), 2) << seen.messages.join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(seen.messages[0].startsWith(QString::fromUtf8("所选数据都不能生成图层："))) << seen.messages[0].toStdString();
    EXPECT_TRUE(seen.messages[0].contains(QString::fromUtf8("empty：文件夹"))) << seen.messages[0].toStdString();
    EXPECT_TRUE(seen.messages[1].startsWith(QString::fromUtf8("已添加 2 个图层，以下 1 项没有生成图层："))) << seen.messages[1].toStdString();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->Count(), 2);
}

// ---- Never frozen ------------------------------------------------------------------------

TEST_F(QtViewTest, AMessageBoxAListingAsksForIsAnsweredWhileTheFormWaits) {
    OpenSamples();
    // Failures are shown in message boxes: the listing's own, from its thread.
    testing::WriteFile(home.LibraryFolder() + "/VerdantaSysSet.ini", "[ErrInfo]\r\nbShow=1\r\n");
    system.FailAt("ListFolder", 1, 70, "permission denied");
    QString seen;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen = box->text();
        // A real click, through whatever filters the waiting form has.
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        answer.stop();
    });
    answer.start(20);
    QAbstractItemView* view = ShownList();
    const int row = RowOf(QStringLiteral("nested"));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CentreOf(view, row));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, CentreOf(view, row));
    Sync();
    EXPECT_TRUE(seen.contains(QStringLiteral("GetSubFolderFiles:103"))) << seen.toStdString();
    EXPECT_FALSE(form->ListingCancelled());
    EXPECT_EQ(Widget<QComboBox>("ComboLocation")->currentText(), QStringLiteral("nested"));
    EXPECT_TRUE(ListTexts().isEmpty());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(QtViewTest, ASlowFolderLeavesTheWindowAnsweringAndCancelPutsBackTheFolderShown) {
    OpenSamples();
    QAbstractItemView* view = ShownList();
    const QStringList before = ListTexts();
    const QString here = Widget<QComboBox>("ComboLocation")->currentText();
    auto gate = std::make_shared<testing::Gate>();
    system.slowFolders[samples.Path() + "/nested"] = gate;

    // The event loop keeps turning while the folder lists.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    struct Seen {
        bool busyShown = false, cancelShown = false;
        int ticks = 0;
        bool addIgnored = false;
        QString location;
    } seen;
    After(400, [&] {
        seen.busyShown = Widget<QWidget>("LblListing")->isVisible();
        auto* cancel = Widget<QPushButton>("CmdCancelListing");
        seen.cancelShown = cancel->isVisible() && cancel->text() == QString::fromUtf8("取消");
        seen.ticks = ticks;
        seen.location = Widget<QComboBox>("ComboLocation")->currentText();
        // Other controls wait: a click on Add does nothing.
        QTest::mouseClick(Widget<QAbstractButton>("CmdAddData"), Qt::LeftButton);
        seen.addIgnored = !form->mbOKClick;
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    const int row = RowOf(QStringLiteral("nested"));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CentreOf(view, row));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, CentreOf(view, row));
    Sync();
    ticker.stop();
    EXPECT_TRUE(seen.busyShown);
    EXPECT_TRUE(seen.cancelShown);
    EXPECT_GE(seen.ticks, 15) << "the interface thread served its timer while the folder listed";
    EXPECT_EQ(seen.location, QStringLiteral("nested"));
    EXPECT_TRUE(seen.addIgnored);
    EXPECT_TRUE(form->ListingCancelled());
    EXPECT_EQ(ListTexts(), before);
    EXPECT_EQ(Widget<QComboBox>("ComboLocation")->currentText(), here);
    EXPECT_FALSE(Widget<QWidget>("LblListing")->isVisible());
    EXPECT_FALSE(Widget<QWidget>("CmdCancelListing")->isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(gsCurDir, samples.Path());

    // Escape cancels as 取消 does.
    After(300, [&] { QTest::keyClick(List()->Current(), Qt::Key_Escape); });
    view = ShownList();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CentreOf(view, RowOf(QStringLiteral("nested"))));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, CentreOf(view, RowOf(QStringLiteral("nested"))));
    Sync();
    EXPECT_TRUE(form->ListingCancelled());
    EXPECT_EQ(ListTexts(), before);
    gate->Open();
    EXPECT_TRUE(browser::ListingsEnded(std::chrono::seconds(10)));
    // Once the folder answers it lists as usual.
    view = ShownList();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CentreOf(view, RowOf(QStringLiteral("nested"))));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, CentreOf(view, RowOf(QStringLiteral("nested"))));
    Sync();
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("rivers")});
}

} // namespace
} // namespace marbrook::testing
