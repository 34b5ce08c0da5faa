// The MIDI Device dialog: picks the MIDI input device by its id, the channel listened to and
// the controller numbers that drive Ctrl 1 and Ctrl 2, and edits them in place.
#ifndef KOVRA_MIDI_MIDIDEVICEDLG_H
#define KOVRA_MIDI_MIDIDEVICEDLG_H

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
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

    // The main window's device id, channel (0-15) and controller numbers (0-127). They are
    // read when the dialog opens and written by OK, so they must outlive the dialog's run;
    // a device id past the last device is set to 0 as soon as the list is filled. With
    // `name`, the remembered device's stored name ("" for none), which OK sets to the chosen
    // device's; while a device of that name is absent the id is left alone.
    CMidiDeviceDlg(int& device, int& channel, int& ctrl1, int& ctrl2, QWidget* parent,
                   std::string* name = nullptr);

    // Lists every device of the MIDI input in id order, each entry's item data its id, and
    // selects the entry of the remembered name, else of the device id. An absent remembered
    // device selects nothing and shows its name.
    void FillDeviceList();
    // Shows the channel and controller numbers.
    void ShowValues();
    // Takes the channel and controller numbers from the controls.
    void ReadValues();
    // Takes the selected device and its name (with none selected: the device id 0, or
    // nothing while a remembered device is absent) and the values, and closes with OK.
    void OnOK();

protected:
    void showEvent(QShowEvent* event) override;

private:
    int& m_nDevice;
    int& m_nChannel;
    int& m_nCtrl1;
    int& m_nCtrl2;
    std::string* m_pName;
    std::vector<std::string> m_names;   // the listing the entries show
    QPushButton* m_pOk = nullptr;       // control 1
    QComboBox* m_pDevices = nullptr;    // control 1006
    QComboBox* m_pChannels = nullptr;   // control 1000
    QLineEdit* m_pCtrl1Edit = nullptr;  // control 1002
    QLineEdit* m_pCtrl2Edit = nullptr;  // control 1003
};

#endif
