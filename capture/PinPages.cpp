// The format dialog shown before a source is connected: the source's formats, expanded into
// concrete entries, to choose one from.
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>
#include <utility>

#include "PinFormats.h"
#include "PropertyPages.h"
#include "SourcePad.h"

GstCaps* ShowPinPages(GstElement* source, const char* caption, QWidget* owner)
{
    if (!source) return nullptr;
    GstState state = GST_STATE_NULL;
    gst_element_get_state(source, &state, nullptr, 0);
    // A device lists what it really offers only once it is open.
    if (state < GST_STATE_READY &&
        gst_element_set_state(source, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        return nullptr;
    }
    PadPtr pad = SourcePad(source);
    if (!pad) return nullptr;
    CapsPtr offered(gst_pad_query_caps(pad.get(), nullptr));
    // An application source answers "anything" until it runs; its "caps" property is what it
    // will give.
    GParamSpec* stated = g_object_class_find_property(G_OBJECT_GET_CLASS(source), "caps");
    if (offered && gst_caps_is_any(offered.get()) && stated &&
        stated->value_type == GST_TYPE_CAPS && (stated->flags & G_PARAM_READABLE)) {
        GstCaps* caps = nullptr;
        g_object_get(source, "caps", &caps, nullptr);
        if (caps) offered.reset(caps);
    }
    std::vector<PinFormat> formats = ExpandFormats(offered.get());
    if (formats.empty()) return nullptr;

    // The format the pad already carries, if any, is the one to start from. Before the pad
    // has negotiated nothing is chosen, and OK leaves the format to the source.
    int preselect = -1;
    if (CapsPtr current{gst_pad_get_current_caps(pad.get())}) {
        for (size_t i = 0; i < formats.size(); ++i) {
            if (gst_caps_is_subset(current.get(), formats[i].caps.get())) {
                preselect = static_cast<int>(i);
                break;
            }
        }
    }

    QDialog dialog(owner);
    dialog.setWindowTitle(QString::fromUtf8(caption ? caption : ""));
    dialog.setModal(true);
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    list->setObjectName("formats");
    for (const PinFormat& format : formats) list->addItem(QString::fromStdString(format.label));
    if (preselect >= 0) list->setCurrentRow(preselect);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemActivated, &dialog, [&dialog](QListWidgetItem* item) {
        item->setSelected(true);
        dialog.accept();
    });
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted) return nullptr;
    // The selection, not the current row: the list makes its first row current (unselected)
    // when it takes the keyboard focus, which is no choice.
    const QList<QListWidgetItem*> chosen = list->selectedItems();
    if (chosen.isEmpty()) return nullptr;
    const int row = list->row(chosen.front());
    if (row < 0 || row >= static_cast<int>(formats.size())) return nullptr;
    return formats[row].caps.release();
}
