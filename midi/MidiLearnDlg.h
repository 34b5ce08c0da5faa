// The Learn list of the MIDI Device dialog: every action with the messages that drive it, and
// Learn, Clear and Default on them. OK writes the controller's mapping file; Cancel drops all.
#ifndef KOVRA_MIDI_MIDILEARNDLG_H
#define KOVRA_MIDI_MIDILEARNDLG_H

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <string>

#include "Learner.h"

class QLabel;
class QPushButton;
class QTreeWidget;

class CMidiLearnDlg : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the controls' object names.
    static constexpr int IDOK = 1;
    static constexpr int IDCANCEL = 2;
    static constexpr int IDC_LIST = 1020;
    static constexpr int IDC_LEARN = 1021;
    static constexpr int IDC_CLEAR = 1022;
    static constexpr int IDC_DEFAULT = 1023;
    static constexpr int IDC_STATE = 1024;

    // Edits the map of the mapping file at `path` over `defaults` (the dialog's channel and
    // controller numbers); Default puts `defaults` back.
    CMidiLearnDlg(std::string path, Bindings defaults, QWidget* parent);

    // A message from the device, on the user-interface thread, timed as it arrives.
    void Take(uint32_t message);
    const Bindings& Current() const { return m_learner.Current(); }

    // The selected row's action waits for the next message.
    void OnLearn();
    void OnClear();
    void OnDefault();
    // Writes only what differs from the defaults, and closes; stays open, saying so, when the
    // file cannot be written.
    void OnOK();

private:
    void ShowBindings();
    void ShowListening();
    Action SelectedAction() const;

    Learner m_learner;
    const std::string m_path;
    const Bindings m_defaults;
    QElapsedTimer m_clock;
    // Per action, what the last Learn moved to or from it.
    QString m_notes[kActionCount];
    QTreeWidget* m_pList = nullptr;
    QLabel* m_pState = nullptr;
};

#endif
