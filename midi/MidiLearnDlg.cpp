// The Learn list; see MidiLearnDlg.h.
#include "MidiLearnDlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

#include "MappingFile.h"

namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

QString ActionText(Action action) { return Text(ActionName(action)); }

}  // namespace

CMidiLearnDlg::CMidiLearnDlg(std::string path, Bindings defaults, QWidget* parent)
    : QDialog(parent),
      m_learner(ReadMappingFile(path, defaults), defaults),
      m_path(std::move(path)),
      m_defaults(std::move(defaults))
{
    setWindowTitle(QStringLiteral("MIDI Learn"));
    setModal(true);
    m_clock.start();

    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(QString::number(IDC_LIST));
    m_pList->setColumnCount(2);
    m_pList->setHeaderLabels({QStringLiteral("Action"), QStringLiteral("Bindings")});
    m_pList->setRootIsDecorated(false);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int a = 0; a < kActionCount; ++a) {
        new QTreeWidgetItem(m_pList, {ActionText(static_cast<Action>(a))});
    }
    m_pList->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_pList->setCurrentItem(m_pList->topLevelItem(0));
    m_pList->setMinimumSize(360, 300);
    m_pList->setFocus(Qt::OtherFocusReason);

    m_pState = new QLabel(QStringLiteral("Choose an action and press Learn."), this);
    m_pState->setObjectName(QString::number(IDC_STATE));

    const auto addButton = [this](int id, const char* text, void (CMidiLearnDlg::*slot)()) {
        auto* button = new QPushButton(QString::fromLatin1(text), this);
        button->setObjectName(QString::number(id));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, slot);
        return button;
    };
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addButton(IDC_LEARN, "Learn", &CMidiLearnDlg::OnLearn));
    buttons->addWidget(addButton(IDC_CLEAR, "Clear", &CMidiLearnDlg::OnClear));
    buttons->addWidget(addButton(IDC_DEFAULT, "Default", &CMidiLearnDlg::OnDefault));
    buttons->addStretch();
    QPushButton* ok = addButton(IDOK, "OK", &CMidiLearnDlg::OnOK);
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(addButton(IDCANCEL, "Cancel", &QDialog::reject));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pList);
    layout->addWidget(m_pState);
    layout->addLayout(buttons);
    ShowBindings();
}

Action CMidiLearnDlg::SelectedAction() const
{
    const int row = m_pList->indexOfTopLevelItem(m_pList->currentItem());
    return static_cast<Action>(row < 0 ? 0 : row);
}

void CMidiLearnDlg::ShowBindings()
{
    for (int a = 0; a < kActionCount; ++a) {
        QStringList keys;
        for (const MessageKey& key : m_learner.KeysOf(static_cast<Action>(a)))
            keys << Text(BindingKeyText(key));
        QString text = keys.join(QStringLiteral(", "));
        if (!m_notes[a].isEmpty()) text += (text.isEmpty() ? "" : "  ") + m_notes[a];
        m_pList->topLevelItem(a)->setText(1, text);
    }
}

void CMidiLearnDlg::ShowListening()
{
    // The title says what the list waits for, where it shows wherever the focus is.
    setWindowTitle(m_learner.Armed()
                       ? QStringLiteral("MIDI Learn - %1").arg(ActionText(m_learner.ArmedAction()))
                       : QStringLiteral("MIDI Learn"));
}

void CMidiLearnDlg::OnLearn()
{
    const Action action = SelectedAction();
    m_learner.Arm(action);
    ShowListening();
    m_pState->setText(
        QStringLiteral("Move a control for %1 on the device.").arg(ActionText(action)));
}

void CMidiLearnDlg::Take(uint32_t message)
{
    // The stop's reset may still hand over messages once the list has closed.
    if (!isVisible()) return;
    Learner::Learned learned;
    if (!m_learner.Take(message, m_clock.elapsed(), learned)) return;
    for (QString& note : m_notes) note.clear();
    const QString key = Text(BindingKeyText(learned.key));
    QStringList from;
    for (const Action moved : learned.movedFrom) {
        m_notes[static_cast<int>(moved)] =
            QStringLiteral("(%1 moved to %2)").arg(key, ActionText(learned.action));
        from << ActionText(moved);
    }
    if (!from.isEmpty()) {
        m_notes[static_cast<int>(learned.action)] =
            QStringLiteral("(%1 from %2)").arg(key, from.join(QStringLiteral(", ")));
    }
    m_pState->setText(QStringLiteral("%1 drives %2.").arg(key, ActionText(learned.action)));
    ShowListening();
    ShowBindings();
}

void CMidiLearnDlg::OnClear()
{
    const Action action = SelectedAction();
    m_learner.Clear(action);
    m_pState->setText(QStringLiteral("%1 drives nothing.").arg(ActionText(action)));
    ShowBindings();
}

void CMidiLearnDlg::OnDefault()
{
    m_learner.Default();
    ShowListening();
    for (QString& note : m_notes) note.clear();
    m_pState->setText(QStringLiteral("The default map is back."));
    ShowBindings();
}

void CMidiLearnDlg::OnOK()
{
    m_learner.Disarm();
    if (!WriteMappingFile(m_path, m_learner.Current(), m_defaults)) {
        m_pState->setText(QStringLiteral("The mapping file could not be written."));
        return;
    }
    accept();
}
