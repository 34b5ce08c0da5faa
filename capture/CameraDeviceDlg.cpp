// The Camera Device dialog; see CameraDeviceDlg.h.
#include "CameraDeviceDlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ClipFolder.h"
#include "ComboSelection.h"
#include "DeviceList.h"
#include "DeviceNames.h"

CCameraDeviceDlg::CCameraDeviceDlg(int& position, QWidget* parent)
    : QDialog(parent), m_nPosition(position)
{
    setObjectName(QString::number(IDD));
    setWindowTitle("Camera Device");
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_pDevices = new QComboBox(this);
    m_pDevices->setObjectName(QString::number(IDC_DEVICE));
    m_pDevices->setEditable(true);
    // Typed text must never become an entry: entries and device positions stay aligned.
    m_pDevices->setInsertPolicy(QComboBox::NoInsert);
    m_pDevices->setMinimumContentsLength(28);
    m_pDevices->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    layout->addWidget(m_pDevices);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName(QString::number(IDOK));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CCameraDeviceDlg::OnOK);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
}

CCameraDeviceDlg::CCameraDeviceDlg(int& position, std::string& name, QWidget* parent)
    : CCameraDeviceDlg(position, parent)
{
    m_pName = &name;
}

void CCameraDeviceDlg::showEvent(QShowEvent* event)
{
    // Filled when the dialog opens, not when it is built, so the list is the one of the moment.
    if (!event->spontaneous()) FillDeviceList();
    QDialog::showEvent(event);
}

void CCameraDeviceDlg::FillDeviceList()
{
    m_pDevices->clear();
    m_pDevices->addItem("None", 0);
    int position = 1;
    if (m_sources) {
        m_listing = m_sources();
        m_names = m_listing.names;
    } else {
        m_names = m_lister ? m_lister() : VideoDeviceNames();
    }
    for (const std::string& name : m_names) {
        m_pDevices->addItem(QString::fromStdString(name), position++);
    }
    // A position past the last entry selects nothing, and the field shows empty.
    m_pDevices->setCurrentIndex(m_nPosition >= 0 && m_nPosition < m_pDevices->count() ? m_nPosition
                                                                                      : -1);
}

int CCameraDeviceDlg::SelectedEntry() const { return SelectedComboEntry(m_pDevices); }

void CCameraDeviceDlg::OnOK()
{
    const int entry = SelectedEntry();
    if (entry < 0) {
        accept();
        return;
    }
    const int position = m_pDevices->itemData(entry).toInt();
    std::string file;
    if (m_sources && IsOpenFileEntry(m_listing, position)) {
        file = m_chooseFile ? m_chooseFile() : std::string();
        if (file.empty()) return;  // nothing chosen: the list stays open
    } else if (m_sources && position >= 1 && position <= static_cast<int>(m_listing.files.size())) {
        file = m_listing.files[position - 1];
    }
    m_nPosition = position;
    if (m_pName) *m_pName = file.empty() ? RememberedName(m_names, position) : FileNameOf(file);
    if (m_pFile) *m_pFile = file;
    accept();
}
