// The Camera Device dialog: picks the device or file of one camera slot from the device list,
// by its position (0 = None), and edits that position, and the name (and file) it is
// remembered under, in place.
#ifndef KOVRA_CAPTURE_CAMERADEVICEDLG_H
#define KOVRA_CAPTURE_CAMERADEVICEDLG_H

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "SourceList.h"

class QComboBox;
class QShowEvent;

class CCameraDeviceDlg : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the controls' object names.
    static constexpr int IDD = 130;
    static constexpr int IDOK = 1;
    static constexpr int IDC_DEVICE = 1006;

    // `position` is read when the dialog opens and written only by OK with a selection, so
    // it must outlive the dialog's run. `parent` is the main window.
    CCameraDeviceDlg(int& position, QWidget* parent);
    // The same, and OK with a selection also writes the chosen device's remembered name
    // ("" for None) into `name`.
    CCameraDeviceDlg(int& position, std::string& name, QWidget* parent);

    // Where the listing comes from: by default the device list itself, asked on this thread;
    // the main window lists through the cameras' worker, which waits a bounded time.
    void SetLister(std::function<std::vector<std::string>()> lister)
    {
        m_lister = std::move(lister);
    }

    // Where the listing comes from when it has files too (the main window's): then a file
    // entry's OK also writes its path into `file` ("" for a device or None), and Open File...
    // asks `chooseFile` for a path (none: the dialog stays open) and writes it.
    void SetSources(std::function<SourceListing()> lister, std::function<std::string()> chooseFile,
                    std::string& file)
    {
        m_sources = std::move(lister);
        m_chooseFile = std::move(chooseFile);
        m_pFile = &file;
    }

    // Lists "None" and every device in position order, each entry's item data its position,
    // and selects the entry of the current position (nothing when it is past the last).
    void FillDeviceList();
    // Takes the selected entry's position, if any, and closes the dialog with OK.
    void OnOK();

    // The entry that counts as selected (see SelectedComboEntry); -1 when none.
    int SelectedEntry() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    int& m_nPosition;
    std::string* m_pName = nullptr;
    std::vector<std::string> m_names;  // the listing the entries were filled from
    std::function<std::vector<std::string>()> m_lister;
    std::function<SourceListing()> m_sources;
    std::function<std::string()> m_chooseFile;
    std::string* m_pFile = nullptr;
    SourceListing m_listing;          // with m_sources: the listing the entries were filled from
    QComboBox* m_pDevices = nullptr;  // control 1006
};

#endif
