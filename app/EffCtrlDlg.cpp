// The Effect Control dialog: its controls, the exchange with the performance state, the
// keys it passes on and its self-deleting lifetime. See EffCtrlDlg.h.
#include "EffCtrlDlg.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <utility>

#include "DialogUnits.h"
#include "KeyMap.h"
#include "LeadingDigits.h"
#include "Performance.h"
#include "Resources.h"

namespace {

constexpr int kCtrlMax = CPerformance::kCtrlMax;

// The integer exchange's reading of a field: an optional sign and decimal digits, blanks
// around them allowed. A number beyond the int range saturates, so it is then clamped like
// any other number that is too large.
bool ParseInteger(const QString& text, int& value)
{
    const QString trimmed = text.trimmed();
    const auto* chars = reinterpret_cast<const char16_t*>(trimmed.utf16());
    const size_t size = static_cast<size_t>(trimmed.size());
    const LeadingDigits read =
        ReadLeadingDigits(chars, size, 0, static_cast<long long>(INT_MAX) + 1);
    if (read.digits == 0 || read.end != size) return false;  // no number, or text after it
    const long long signedValue = read.negative ? -read.magnitude : read.magnitude;
    value = static_cast<int>(std::clamp<long long>(signedValue, INT_MIN, INT_MAX));
    return true;
}

}  // namespace

CSpinButtonCtrl::CSpinButtonCtrl(QWidget* parent) : QWidget(parent)
{
    // It never takes the focus: the field keeps it while it is stepped.
    setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pUp = new QToolButton(this);
    m_pDown = new QToolButton(this);
    for (QToolButton* button : {m_pUp, m_pDown}) {
        button->setArrowType(button == m_pUp ? Qt::UpArrow : Qt::DownArrow);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
        // The arrows are smaller than a tool button would like to be.
        button->setMinimumSize(1, 1);
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        layout->addWidget(button);
    }
    connect(m_pUp, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_pDown, &QToolButton::clicked, this, [this] { Step(-1); });
}

void CSpinButtonCtrl::SetBuddy(QLineEdit* buddy)
{
    m_pBuddy = buddy;
    QRect field = buddy->geometry();
    const int w = width();
    field.setWidth(std::max(1, field.width() - w));
    buddy->setGeometry(field);
    setGeometry(field.right() + 1, field.top(), w, field.height());
    buddy->installEventFilter(this);
}

void CSpinButtonCtrl::SetRange(int lower, int upper)
{
    m_nLower = lower;
    m_nUpper = upper;
}

void CSpinButtonCtrl::Step(int delta)
{
    if (!m_pBuddy) return;
    // The field may have been typed into since the last step: start from its number.
    int current = m_nPos;
    if (!ParseInteger(m_pBuddy->text(), current)) current = m_nPos;
    const long long low = std::min(m_nLower, m_nUpper);
    const long long high = std::max(m_nLower, m_nUpper);
    m_nPos = static_cast<int>(std::clamp(static_cast<long long>(current) + delta, low, high));
    const QString text = QString::number(m_nPos);
    if (m_pBuddy->text() != text) m_pBuddy->setText(text);
}

bool CSpinButtonCtrl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pBuddy && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

CEffCtrlDlg::CEffCtrlDlg() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("CEffCtrlDlg"));
    setWindowTitle(QStringLiteral("Effect Control"));
    // A helper window: closing it must never count as the program's last window closing.
    setAttribute(Qt::WA_QuitOnClose, false);
}

CEffCtrlDlg::~CEffCtrlDlg()
{
    // Deleted without a close (by its owner's code): the owner must not keep pointing here.
    if (m_pOwner && m_host.gone) m_host.gone();
}

bool CEffCtrlDlg::Open(QWidget* owner, Host host)
{
    if (!owner || m_pOwner) return false;
    m_pOwner = owner;
    m_host = std::move(host);
    // Close box only: no help button, no minimise or maximise.
    setParent(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(false);
    CreateControls();
    // The owner, once gone, is not to be touched: it takes this dialog with it right after.
    connect(owner, &QObject::destroyed, this, &CEffCtrlDlg::Unbind);

    create();
    if (!windowHandle() || !windowHandle()->handle()) {
        disconnect(owner, &QObject::destroyed, this, &CEffCtrlDlg::Unbind);
        destroy();
        setParent(nullptr);
        m_pOwner = nullptr;
        m_host = {};
        return false;
    }
    show();
    return true;
}

void CEffCtrlDlg::CreateControls()
{
    const CDialogUnits units(font());
    setFixedSize(units.Size(142, 84));

    // A label may be wider than planned in some fonts: it takes the room up to the control
    // beside it.
    const auto addLabel = [this](const char* text, QRect rect) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        rect.setWidth(std::max(rect.width(), label->sizeHint().width()));
        label->setGeometry(rect);
        return rect.right();
    };
    const int numberRight = addLabel("Number", units.Rect(6, 15, 26, 8));
    addLabel("Ctrl 1", units.Rect(6, 40, 18, 8));
    addLabel("Ctrl 2", units.Rect(6, 64, 18, 8));

    // Created in tab order.
    m_slider1 = new QSlider(Qt::Horizontal, this);
    m_slider1->setObjectName(QString::number(IDC_SLIDER1));
    m_slider1->setGeometry(units.Rect(36, 36, 100, 15));
    m_slider2 = new QSlider(Qt::Horizontal, this);
    m_slider2->setObjectName(QString::number(IDC_SLIDER2));
    m_slider2->setGeometry(units.Rect(36, 60, 100, 15));
    for (QSlider* slider : {m_slider1, m_slider2}) {
        slider->setTickPosition(QSlider::NoTicks);
        slider->setFocusPolicy(Qt::StrongFocus);
        // Every user action counts, also one that leaves the position where it was (an
        // arrow key at an end, a click on the thumb): the value is written back each time.
        connect(slider, &QAbstractSlider::actionTriggered, this,
                [this, slider] { OnHScroll(slider); });
        connect(slider, &QAbstractSlider::sliderReleased, this,
                [this, slider] { OnHScroll(slider); });
    }

    m_pNumberEdit = new QLineEdit(this);
    m_pNumberEdit->setObjectName(QString::number(IDC_NUMBER));
    // The field and its up-down control move right when the label needs the room.
    const int shift = std::max(0, numberRight + 4 - units.Rect(42, 12, 42, 14).left());
    m_pNumberEdit->setGeometry(units.Rect(42, 12, 42, 14).translated(shift, 0));
    m_pNumberEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    connect(m_pNumberEdit, &QLineEdit::textChanged, this, &CEffCtrlDlg::OnNumberChange);

    m_spin = new CSpinButtonCtrl(this);
    m_spin->setObjectName(QString::number(IDC_SPIN));
    m_spin->setGeometry(units.Rect(84, 12, 11, 14).translated(shift, 0));
    m_spin->SetBuddy(m_pNumberEdit);

    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

    // The first exchange shows 0; its change notification finds nothing bound yet.
    DoDataExchange(false);
}

void CEffCtrlDlg::Bind(CPerformance& performance)
{
    m_pPerformance = &performance;
    // The window's members go before its destroyed notification unbinds this dialog.
    connect(&performance, &QObject::destroyed, this, [this] { m_pPerformance = nullptr; });
    if (m_slider1 && m_slider2) {
        // Setting a position is no user action, so it causes no scroll notification.
        m_slider1->setRange(0, kCtrlMax);
        m_slider2->setRange(0, kCtrlMax);
        m_slider1->setValue(performance.Ctrl1());
        m_slider2->setValue(performance.Ctrl2());
    }
    m_nMaxEffect = performance.EffectCount() - 1;
    if (m_spin) m_spin->SetRange(0, m_nMaxEffect);
    m_nNumber = performance.Effect();
    if (m_pNumberEdit) DoDataExchange(false);
}

bool CEffCtrlDlg::DoDataExchange(bool saveAndValidate)
{
    if (!saveAndValidate) {
        const QString text = QString::number(m_nNumber);
        // Replaced only when it differs, so the change notification this causes ends there.
        if (m_pNumberEdit->text() != text) m_pNumberEdit->setText(text);
        return true;
    }
    int value = 0;
    if (!ParseInteger(m_pNumberEdit->text(), value)) {
        QMessageBox box(QMessageBox::Warning, kProgramName,
                        QStringLiteral("Please enter an integer."), QMessageBox::Ok, this);
        box.exec();
        return false;
    }
    m_nNumber = value;
    return true;
}

void CEffCtrlDlg::OnNumberChange()
{
    if (!m_pPerformance) return;
    // A field that holds no integer leaves m_nNumber as it was, which is then put back.
    DoDataExchange(true);
    if (m_nNumber > m_nMaxEffect) {
        m_nNumber = m_nMaxEffect;
    } else if (m_nNumber < 0) {
        m_nNumber = 0;
    }
    m_pPerformance->SetEffect(m_nNumber, ChangeSource::Dialog);
    DoDataExchange(false);
}

void CEffCtrlDlg::OnHScroll(QSlider* slider)
{
    if (!m_pPerformance) return;
    // The position the action moved to; the slider's value follows only after this signal.
    if (slider == m_slider1) {
        m_pPerformance->SetCtrl1(slider->sliderPosition(), ChangeSource::Dialog);
    } else if (slider == m_slider2) {
        m_pPerformance->SetCtrl2(slider->sliderPosition(), ChangeSource::Dialog);
    }
}

void CEffCtrlDlg::closeEvent(QCloseEvent* event)
{
    if (!m_pOwner) {
        QDialog::closeEvent(event);
        return;
    }
    event->accept();
    OnClose();
}

void CEffCtrlDlg::OnClose()
{
    if (!m_pOwner) return;
    // A modeless close: the window goes, and with it this object.
    hide();
    PostNcDestroy();
}

void CEffCtrlDlg::PostNcDestroy()
{
    if (!m_pOwner) return;
    if (m_host.gone) m_host.gone();
    Unbind();
    // Later, as this runs inside the dialog's own close handling.
    deleteLater();
}

void CEffCtrlDlg::Unbind()
{
    m_pOwner = nullptr;
    m_pPerformance = nullptr;
    m_host = {};
}

bool CEffCtrlDlg::OnHelpInfo() { return false; }

bool CEffCtrlDlg::event(QEvent* event)
{
    switch (event->type()) {
        case QEvent::WindowDeactivate:
            // Keys released while another window has the focus never arrive here.
            m_keys.Clear();
            break;
        case QEvent::KeyPress:
            // F1 asks for help, which the dialog does not have.
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) OnHelpInfo();
            break;
        default:
            break;
    }
    return QDialog::event(event);
}

bool CEffCtrlDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        // A key a control ignores travels on to its parents: act on it once, where it was
        // delivered, which is the dialog's focused control (or the dialog itself).
        QWidget* target = focusWidget() ? focusWidget() : this;
        if (watched == target && PreTranslateMessage(static_cast<QKeyEvent*>(event))) {
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool CEffCtrlDlg::PreTranslateMessage(QKeyEvent* event)
{
    const int nChar = VirtualKeyOf(*event);
    const bool press = event->type() == QEvent::KeyPress;
    const bool pass = press ? !m_keys.Press(nChar, event->isAutoRepeat())
                            : m_keys.Release(nChar, event->isAutoRepeat());
    if (pass && m_host.playMemoryKey) m_host.playMemoryKey(nChar, press);
    // Enter and Escape go no further, so neither closes the dialog nor presses a button.
    return press && (nChar == VK_RETURN || nChar == VK_ESCAPE);
}
