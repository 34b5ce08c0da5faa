// The Effect Control dialog: a modeless window beside the main window that sets the effect
// number, Ctrl 1 and Ctrl 2 without a MIDI controller, and passes the frame-memory keys on.
#ifndef KOVRA_APP_EFFCTRLDLG_H
#define KOVRA_APP_EFFCTRLDLG_H

#include <QDialog>
#include <functional>

#include "KeyRepeat.h"

class CPerformance;
class QKeyEvent;
class QLineEdit;
class QSlider;
class QToolButton;

// The up-down control beside a number field: two arrow buttons that step the field's integer
// within a range and write it back as text; the Up and Down keys in the field step it too.
class CSpinButtonCtrl : public QWidget {
    Q_OBJECT

public:
    explicit CSpinButtonCtrl(QWidget* parent);

    // Attaches to the field and sits at its right edge, narrowing the field by its width.
    void SetBuddy(QLineEdit* buddy);
    void SetRange(int lower, int upper);
    int GetPos() const { return m_nPos; }
    // One step up (+1) or down (-1), stopping at the range ends.
    void Step(int delta);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* m_pUp = nullptr;
    QToolButton* m_pDown = nullptr;
    QLineEdit* m_pBuddy = nullptr;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;  // the last position, used while the field holds no integer
};

class CEffCtrlDlg : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the controls' object names.
    static constexpr int IDD = 133;
    static constexpr int IDC_SLIDER1 = 1003;
    static constexpr int IDC_SLIDER2 = 1004;
    static constexpr int IDC_NUMBER = 1007;
    static constexpr int IDC_SPIN = 1008;

    // What the dialog calls back into, given by the window that opens it.
    struct Host {
        // Shift and the frame-memory keys pressed (true) or released in the dialog.
        std::function<void(int nChar, bool pressed)> playMemoryKey;
        // The dialog is closing or being deleted: the window stops pointing at it.
        std::function<void()> gone;
    };

    CEffCtrlDlg();
    ~CEffCtrlDlg() override;

    // Creates and shows the dialog window with `owner` as its parent; false (and no window)
    // when it cannot be created.
    bool Open(QWidget* owner, Host host);
    // Connects the controls to the performance state and shows its current values.
    void Bind(CPerformance& performance);

    // Handlers, named after the window messages they stand for.
    void OnNumberChange();
    void OnHScroll(QSlider* slider);
    void OnClose();
    bool OnHelpInfo();
    // A key for the dialog or one of its controls; true when it goes no further.
    bool PreTranslateMessage(QKeyEvent* event);
    void PostNcDestroy();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    // Integer exchange of m_nNumber with the number field; false when the field's text is
    // not an integer (the message has then been shown).
    bool DoDataExchange(bool saveAndValidate);
    // Lets go of the owner: after a close, or when the owner is being destroyed.
    void Unbind();

    CPerformance* m_pPerformance = nullptr;  // the owner's, while bound
    int m_nMaxEffect = 0;
    QSlider* m_slider1 = nullptr;
    QSlider* m_slider2 = nullptr;
    int m_nNumber = 0;
    CSpinButtonCtrl* m_spin = nullptr;
    QWidget* m_pOwner = nullptr;
    Host m_host;

    QLineEdit* m_pNumberEdit = nullptr;  // control 1007, exchanged with m_nNumber
    CKeyRepeat m_keys;                   // which passed-on keys are down, to skip repeats
};

#endif
