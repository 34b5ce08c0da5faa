// The MIDI Device dialog; see MidiDeviceDlg.h.
#include "MidiDeviceDlg.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <algorithm>

#include "ComboSelection.h"
#include "DefaultMap.h"
#include "DialogUnits.h"
#include "LeadingDigits.h"
#include "MappingFile.h"
#include "MidiLearnDlg.h"
#include "MidiPortNames.h"
#include "MidiSession.h"

namespace {

constexpr int kChannelCount = 16;
constexpr int kCtrlMax = 127;
constexpr int kPortMax = 65535;

// A number as typed: its leading digits after optional blanks and sign, as atoi reads them,
// within 0-max. Too many digits saturate rather than overflow.
int ReadNumber(const QString& text, int max)
{
    int i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    const LeadingDigits read =
        ReadLeadingDigits(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()), static_cast<size_t>(i), max + 1);
    return read.negative ? 0 : static_cast<int>(std::min<int64_t>(read.magnitude, max));
}

int ReadCtrl(const QString& text) { return ReadNumber(text, kCtrlMax); }

// A drop-down whose list is `listHeight` pixels down from its top, field included; the field
// itself keeps the height its font needs.
void PlaceComboBox(QComboBox* combo, QRect rect)
{
    const int fieldHeight = combo->sizeHint().height();
    const int itemHeight = std::max(1, combo->fontMetrics().height());
    combo->setMaxVisibleItems(std::max(1, (rect.height() - fieldHeight) / itemHeight));
    rect.setHeight(fieldHeight);
    combo->setGeometry(rect);
}

}  // namespace

CMidiDeviceDlg::CMidiDeviceDlg(CMidiSession& session, QWidget* parent)
    : QDialog(parent), m_session(session)
{
    setObjectName(QString::number(IDD));
    setWindowTitle(QStringLiteral("MIDI Device"));
    setModal(true);

    const CDialogUnits units(font());
    setFixedSize(units.Size(190, 104));

    // Created in tab order.
    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pOk->setObjectName(QString::number(IDOK));
    m_pOk->setGeometry(units.Rect(66, 72, 50, 14));
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &CMidiDeviceDlg::OnOK);

    // Typed text must never become an entry: entries stay aligned with device ids and
    // channels.
    m_pDevices = new QComboBox(this);
    m_pDevices->setObjectName(QString::number(IDC_DEVICE));
    m_pDevices->setEditable(true);
    m_pDevices->setInsertPolicy(QComboBox::NoInsert);
    PlaceComboBox(m_pDevices, units.Rect(48, 12, 125, 75));

    m_pChannels = new QComboBox(this);
    m_pChannels->setObjectName(QString::number(IDC_CHANNEL));
    m_pChannels->setEditable(true);
    m_pChannels->setInsertPolicy(QComboBox::NoInsert);
    for (int k = 1; k <= kChannelCount; ++k) m_pChannels->addItem(QString::number(k));
    PlaceComboBox(m_pChannels, units.Rect(48, 36, 30, 66));

    // A label may be wider than planned in some fonts: it takes the room up to the control
    // beside it, which is well clear of every label.
    const auto addLabel = [this](const char* text, QRect rect) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        rect.setWidth(std::max(rect.width(), label->sizeHint().width()));
        label->setGeometry(rect);
    };
    const auto addNumberEdit = [this](int id, QRect rect) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::number(id));
        edit->setGeometry(rect);
        edit->setAlignment(Qt::AlignRight);
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        return edit;
    };
    addLabel("Device", units.Rect(12, 16, 22, 8));
    addLabel("Channel", units.Rect(12, 40, 30, 8));
    addLabel("Ctrl 1", units.Rect(108, 39, 18, 8));
    m_pCtrl1Edit = addNumberEdit(IDC_CTRL1, units.Rect(138, 36, 30, 14));
    addLabel("Ctrl 2", units.Rect(108, 57, 18, 8));
    m_pCtrl2Edit = addNumberEdit(IDC_CTRL2, units.Rect(138, 54, 30, 14));
    addLabel("OSC port", units.Rect(12, 57, 30, 8));
    m_pOscEdit = addNumberEdit(IDC_OSCPORT, units.Rect(48, 54, 30, 14));

    m_pLearn = new QPushButton(QStringLiteral("Learn..."), this);
    m_pLearn->setObjectName(QString::number(IDC_LEARN));
    m_pLearn->setGeometry(units.Rect(122, 72, 50, 14));
    m_pLearn->setAutoDefault(false);
    connect(m_pLearn, &QPushButton::clicked, this, &CMidiDeviceDlg::OnLearn);

    // The fields still make the default map; a mapping file's lines replace parts of it.
    m_pFileNote = new QLabel(QStringLiteral("A mapping file lies over these fields."), this);
    m_pFileNote->setObjectName(QString::number(IDC_FILENOTE));
    m_pFileNote->setGeometry(units.Rect(12, 90, 166, 8));
    m_pFileNote->hide();
    connect(m_pDevices, &QComboBox::currentIndexChanged, this, &CMidiDeviceDlg::ShowFileNote);
}

void CMidiDeviceDlg::showEvent(QShowEvent* event)
{
    // Filled when the dialog opens, not when it is built, so the list is the one of the moment.
    if (!event->spontaneous()) {
        FillDeviceList();
        ShowValues();
        ShowFileNote();
        m_pOk->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(event);
}

void CMidiDeviceDlg::FillDeviceList()
{
    m_pDevices->clear();
    m_names.clear();
    const CMidiIn& input = m_session.Input();
    const unsigned count = input.GetNumDevs();
    for (unsigned id = 0; id < count; ++id) {
        m_names.push_back(input.GetDeviceName(id));
        m_pDevices->addItem(QString::fromStdString(m_names.back()), static_cast<int>(id));
    }
    const std::string& name = m_session.Name();
    if (!name.empty()) {
        // The remembered device wherever it sits now; while it is absent its name stays in
        // the field, and nothing is chosen unless the performer picks a device.
        const int found = FindStoredPortName(m_names, name);
        m_pDevices->setCurrentIndex(found);
        if (found < 0) m_pDevices->setEditText(QString::fromStdString(name));
        return;
    }
    if (count == 0) return;
    // A device gone since the id was stored (or a negative id) falls back to the first, at
    // once: the input opens that one even if the dialog is cancelled.
    if (static_cast<unsigned>(m_session.Device()) >= count) m_session.SetDevice(0);
    m_pDevices->setCurrentIndex(m_session.Device());
}

void CMidiDeviceDlg::ShowValues()
{
    m_pCtrl1Edit->setText(QString::number(m_session.Ctrl1()));
    m_pCtrl2Edit->setText(QString::number(m_session.Ctrl2()));
    m_pOscEdit->setText(QString::number(m_nOscPort));
    // A channel outside the list selects nothing, and the field shows empty.
    const int channel = m_session.Channel();
    m_pChannels->setCurrentIndex(channel >= 0 && channel < kChannelCount ? channel : -1);
}

void CMidiDeviceDlg::ReadValues()
{
    m_session.SetChannel(std::max(SelectedComboEntry(m_pChannels), 0));
    m_session.SetCtrl1(ReadCtrl(m_pCtrl1Edit->text()));
    m_session.SetCtrl2(ReadCtrl(m_pCtrl2Edit->text()));
    m_nOscPort = ReadNumber(m_pOscEdit->text(), kPortMax);
}

void CMidiDeviceDlg::OnOK()
{
    const int entry = SelectedComboEntry(m_pDevices);
    if (entry >= 0) {
        const int device = m_pDevices->itemData(entry).toInt();
        m_session.SetDevice(device);
        m_session.SetName(StoredPortName(m_names, static_cast<unsigned>(device)));
    } else if (m_session.Name().empty()) {
        m_session.SetDevice(0);
    }
    ReadValues();
    accept();
}

std::string CMidiDeviceDlg::ChosenName(int& device) const
{
    const int entry = SelectedComboEntry(m_pDevices);
    device = entry >= 0 ? m_pDevices->itemData(entry).toInt() : -1;
    return device >= 0 ? StoredPortName(m_names, static_cast<unsigned>(device)) : m_session.Name();
}

void CMidiDeviceDlg::ShowFileNote()
{
    int device = 0;
    const std::string name = ChosenName(device);
    const std::string& settings = m_session.SettingsPath();
    // Without a settings file there is no folder for mapping files either.
    const bool learnable = !name.empty() && !settings.empty();
    m_pLearn->setEnabled(learnable);
    m_pFileNote->setVisible(
        learnable && QFileInfo::exists(QString::fromStdString(MappingFilePath(settings, name))));
}

void CMidiDeviceDlg::OnLearn()
{
    int device = 0;
    const std::string name = ChosenName(device);
    if (name.empty() || m_session.SettingsPath().empty()) return;
    // The defaults of the fields as they stand, which OK would store.
    const int channel = std::max(SelectedComboEntry(m_pChannels), 0);
    CMidiLearnDlg learn(
        MappingFilePath(m_session.SettingsPath(), name),
        DefaultBindings(channel, ReadCtrl(m_pCtrl1Edit->text()), ReadCtrl(m_pCtrl2Edit->text())),
        this);
    if (device >= 0) m_session.BeginLearn(device, [&learn](uint32_t m) { learn.Take(m); });
    learn.exec();
    // Closed before the list goes: what its stop still hands over reaches a list still there.
    m_session.EndLearn();
    ShowFileNote();
}
