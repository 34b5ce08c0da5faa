// The control dialog of a running source: one live widget per control the source offers.
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "FilterControls.h"
#include "PropertyPages.h"

namespace {

int ToInt(int64_t value)
{
    return static_cast<int>(std::max<int64_t>(INT_MIN, std::min<int64_t>(INT_MAX, value)));
}

void ShowColor(QPushButton* button, QRgb color)
{
    QPixmap swatch(16, 16);
    swatch.fill(QColor::fromRgba(color));
    button->setIcon(QIcon(swatch));
    button->setText(QColor::fromRgba(color).name(QColor::HexArgb));
    button->setProperty("rgba", color);
}

// The widget of one control, showing its current value and applying every change at once.
QWidget* ControlWidget(const SourceControl& control, QWidget* parent)
{
    const QString id = QString::fromStdString(control.id);
    const auto set = control.set;
    switch (control.kind) {
        case SourceControl::Kind::Boolean: {
            auto* box = new QCheckBox(parent);
            box->setObjectName(id);
            box->setChecked(control.value != 0);
            QObject::connect(box, &QCheckBox::toggled, box, [set](bool on) { set(on ? 1 : 0); });
            return box;
        }
        case SourceControl::Kind::Menu: {
            auto* box = new QComboBox(parent);
            box->setObjectName(id);
            for (const auto& choice : control.choices) {
                box->addItem(QString::fromStdString(choice.second),
                             QVariant::fromValue<qlonglong>(choice.first));
            }
            box->setCurrentIndex(box->findData(QVariant::fromValue<qlonglong>(control.value)));
            QObject::connect(box, &QComboBox::currentIndexChanged, box, [box, set](int index) {
                if (index >= 0) set(box->itemData(index).toLongLong());
            });
            return box;
        }
        case SourceControl::Kind::Color: {
            auto* button = new QPushButton(parent);
            button->setObjectName(id);
            button->setAutoDefault(false);
            ShowColor(button, static_cast<QRgb>(control.value));
            const QString title = QString::fromStdString(control.label);
            QObject::connect(button, &QPushButton::clicked, button, [button, set, title]() {
                const QColor current = QColor::fromRgba(button->property("rgba").toUInt());
                const QColor chosen =
                    QColorDialog::getColor(current, button, title, QColorDialog::ShowAlphaChannel);
                if (chosen.isValid() && set(chosen.rgba())) ShowColor(button, chosen.rgba());
            });
            return button;
        }
        case SourceControl::Kind::Integer:
            break;
    }
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* spin = new QSpinBox(row);
    spin->setObjectName(id);
    spin->setRange(ToInt(control.minimum), ToInt(control.maximum));
    spin->setSingleStep(ToInt(control.step));
    spin->setValue(ToInt(control.value));
    // A slider only where the range is short enough to be dragged across.
    if (control.maximum - control.minimum <= 65536) {
        auto* slider = new QSlider(Qt::Horizontal, row);
        slider->setObjectName(id + "/slider");
        slider->setRange(spin->minimum(), spin->maximum());
        slider->setSingleStep(spin->singleStep());
        slider->setValue(spin->value());
        QObject::connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
        QObject::connect(spin, &QSpinBox::valueChanged, slider, &QSlider::setValue);
        layout->addWidget(slider, 1);
    }
    QObject::connect(spin, &QSpinBox::valueChanged, spin, [set](int value) { set(value); });
    layout->addWidget(spin);
    return row;
}

}  // namespace

bool ShowFilterPropertyPages(GstElement* source, const char* caption, QWidget* owner)
{
    const std::vector<SourceControl> controls = DiscoverControls(source);
    if (controls.empty()) return false;

    QDialog dialog(owner);
    dialog.setWindowTitle(QString::fromUtf8(caption ? caption : ""));
    dialog.setModal(true);
    auto* layout = new QVBoxLayout(&dialog);
    // A camera can have dozens of controls; they scroll rather than outgrow the screen.
    auto* scroll = new QScrollArea(&dialog);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* page = new QWidget(scroll);
    auto* form = new QFormLayout(page);
    for (const SourceControl& control : controls) {
        auto* label = new QLabel(QString::fromStdString(control.label), page);
        QWidget* widget = ControlWidget(control, page);
        label->setBuddy(widget);
        form->addRow(label, widget);
    }
    scroll->setWidget(page);
    scroll->setMinimumWidth(page->sizeHint().width() + 24);
    scroll->setMinimumHeight(std::min(page->sizeHint().height(), 480));
    layout->addWidget(scroll);
    // Every change is applied as it is made, so there is nothing to confirm or take back.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
    return true;
}
