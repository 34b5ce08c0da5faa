// The MIDI Device dialog: picks the MIDI input device by its id, the channel listened to and
// the controller numbers that drive Ctrl 1 and Ctrl 2, through the MIDI session's setters; the
// OSC port; and Learn, which edits the chosen controller's mapping file.
#ifndef KOVRA_MIDI_MIDIDEVICEDLG_H
#define KOVRA_MIDI_MIDIDEVICEDLG_H

#include <QDialog>
#include <string>
#include <vector>

class CMidiSession;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

class CMidiDeviceDlg : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the controls' object names.
    static constexpr int IDD = 131;
    static constexpr int IDOK = 1;
    static constexpr int IDC_DEVICE = 1006;
    static constexpr int IDC_CHANNEL = 1000;
    static constexpr int IDC_CTRL1 = 1002;
    static constexpr int IDC_CTRL2 = 1003;
    static constexpr int IDC_OSCPORT = 1004;
    static constexpr int IDC_LEARN = 1005;
    static constexpr int IDC_FILENOTE = 1007;

    // The session's device id, channel (0-15) and controller numbers (0-127): read when the
    // dialog opens and set by OK; a device id past the last device is set to 0 as soon as
    // the list is filled. The remembered device's stored name ("" for none) is set by OK to
    // the chosen device's; while a device of that name is absent the id is left alone. The
    // devices are listed through the session's input.
    CMidiDeviceDlg(CMidiSession& session, QWidget* parent);

    // Lists every device of the MIDI input in id order, each entry's item data its id, and
    // selects the entry of the remembered name, else of the device id. An absent remembered
    // device selects nothing and shows its name.
    void FillDeviceList();
    // Shows the channel and controller numbers.
    void ShowValues();
    // Takes the channel, the controller numbers and the OSC port from the controls.
    void ReadValues();
    // Takes the selected device and its name (with none selected: the device id 0, or
    // nothing while a remembered device is absent) and the values, and closes with OK.
    void OnOK();
    // The Learn list for the chosen device, which is opened and listened to while the list is
    // up (the device the remembered name names, unopened, while it is absent).
    void OnLearn();

    // The OSC port (0: off): shown when the dialog opens, set by OK.
    int OscPort() const { return m_nOscPort; }
    void SetOscPort(int port) { m_nOscPort = port; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The chosen device's stored name and its id (-1 while the remembered one is absent).
    std::string ChosenName(int& device) const;
    // Shows whether the chosen controller's mapping file lies over the fields.
    void ShowFileNote();

    CMidiSession& m_session;
    int m_nOscPort = 0;
    std::vector<std::string> m_names;   // the listing the entries show
    QPushButton* m_pOk = nullptr;       // control 1
    QComboBox* m_pDevices = nullptr;    // control 1006
    QComboBox* m_pChannels = nullptr;   // control 1000
    QLineEdit* m_pCtrl1Edit = nullptr;  // control 1002
    QLineEdit* m_pCtrl2Edit = nullptr;  // control 1003
    QLineEdit* m_pOscEdit = nullptr;    // control 1004
    QPushButton* m_pLearn = nullptr;    // control 1005
    QLabel* m_pFileNote = nullptr;      // control 1007
};

#endif
