// The view of a form that has none of its own.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/qt/FormView.h"

namespace marbrook::qt {

namespace {

// A form without a view of its own: its controls one under the other, so
// that it can still be seen and used.
class PlainView final : public FormView {
public:
    explicit PlainView(ui::Form& f) : FormView(f) {
        auto* layout = new QVBoxLayout(Dialog());
        for (ui::Control* c : f.Controls()) {
            QWidget* w = nullptr;
            if (dynamic_cast<ui::ListView*>(c)) w = new ListViewWidget;
            else if (dynamic_cast<ui::ImageCombo*>(c) || dynamic_cast<ui::DropDownList*>(c)) w = new QComboBox;
            else if (dynamic_cast<ui::TextBox*>(c)) w = new QLineEdit;
            else if (dynamic_cast<ui::CheckBox*>(c)) w = new QCheckBox;
            else if (dynamic_cast<ui::OptionButton*>(c)) w = new QToolButton;
            else if (dynamic_cast<ui::CommandButton*>(c)) w = new QPushButton;
            else if (dynamic_cast<ui::Label*>(c)) w = new QLabel;
            if (!w) continue;
            layout->addWidget(w);
            BindAny(*c, w);
        }
        SizeFromForm();
    }
};

} // namespace

std::unique_ptr<FormView> MakeView(ui::Form& form, const ViewMaker& views) {
    std::unique_ptr<FormView> view = views ? views(form) : nullptr;
    if (!view) view = std::make_unique<PlainView>(form);
    view->Flush();
    return view;
}

} // namespace marbrook::qt
