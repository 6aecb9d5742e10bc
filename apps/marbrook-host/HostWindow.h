#pragma once
// The demo host: a main window with the map's layer list and the three
// buttons that call the library through its in-process entry points.
#include <memory>
#include <string>

#include <QMainWindow>

#include "ComponentLoader.h"
#include "platform/gis.h"
#include "platform/ui.h"

class QAction;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace marbrook::host {

// The host's text pane as the library's "SelText" control: a write inserts
// at the caret, replacing the selected text.
class TextPane final : public ui::TextControl {
public:
    explicit TextPane(QPlainTextEdit* edit) : edit_(edit) {}
    void SetSelText(const std::string& text) override;

private:
    QPlainTextEdit* edit_;
};

class HostWindow final : public QMainWindow {
public:
    // `loader` must outlive the window.
    explicit HostWindow(ComponentLoader& loader, QWidget* parent = nullptr);
    ~HostWindow() override;

    void AddData();
    void GetLayers();
    // Re-points the selected layer to one feature class chosen in the
    // library's dialog; anything else is refused and the layer left as it was.
    void Repoint();
    // Offers the database connections in the dialog (the data-source type
    // setting 1) or not (0), from the next display on.
    void OfferDatabases(bool offer);
    // Fills the layer list from the map, top layer first.
    void RefreshLayers();

    [[nodiscard]] QTreeWidget* LayerList() const noexcept { return layers_; }
    [[nodiscard]] QPlainTextEdit* Pane() const noexcept { return pane_; }
    [[nodiscard]] bool Ready() const noexcept { return component_ != nullptr && map_ != nullptr; }
    [[nodiscard]] ui::WindowHandle Handle();
    [[nodiscard]] QAction* DatabasesAction() const noexcept { return databases_; }

private:
    void Say(const QString& line);
    // Tells the user in a message box and in the pane.
    void Refuse(const QString& why);

    ComponentLoader& loader_;
    ILayerFunctionExport* component_ = nullptr;
    gis::MapPtr map_;
    QTreeWidget* layers_ = nullptr;
    QPlainTextEdit* pane_ = nullptr;
    std::unique_ptr<TextPane> textControl_;
    QAction* databases_ = nullptr;
};

} // namespace marbrook::host
