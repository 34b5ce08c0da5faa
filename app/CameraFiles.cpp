// The main window's clips and stills: the files chosen for the cameras, listed after the clips
// folder's, found again by their paths wherever the list has moved them, waited for while
// missing, and handed to the capture's file mode.
#include <QFile>
#include <QFileDialog>

#include "ClipFolder.h"
#include "FileWait.h"
#include "MainDlg.h"

void CMainDlg::RememberFiles() { SetRememberedFiles({m_cameraA.file, m_cameraB.file}); }

void CMainDlg::StartFileEntry(const CameraSlot& slot, const SourceListing& listing)
{
    slot.device = 0;
    if (slot.memo.file == Slot(1 - slot.index).memo.file) {
        // One entry cannot feed both cameras: the other camera keeps it.
        slot.memo.file.clear();
        slot.memo.heldPosition = 0;
        RememberFiles();
        return;
    }
    // Always listed, being remembered; 0 only when no listing came in time.
    slot.memo.heldPosition = PositionOfFile(listing, slot.memo.file);
    PlayFileEntry(slot);
}

void CMainDlg::PlayFileEntry(const CameraSlot& slot)
{
    CameraMemo& memo = slot.memo;
    if (!memo.fileWait) return;
    // Missing until a look on the worker finds a regular file there; the placeholder shows
    // meanwhile, and the path stays chosen.
    memo.fileMissing = true;
    memo.fileWait->Wait(memo.file, [this, index = slot.index] {
        CameraMemo& found = Slot(index).memo;
        found.fileMissing = false;
        ++found.filesHanded;
        // Started on the worker; one that cannot play says why and keeps its choice, with the
        // placeholder showing.
        found.starting = true;
        m_pStarter->StartFile(index, ++found.ticket, found.file, found.heldPosition,
                              m_picture.width, m_picture.height);
    });
}

std::string CMainDlg::ChooseFile()
{
    const QString chosen =
        QFileDialog::getOpenFileName(this, "Open File", QFile::decodeName(ClipsFolder().c_str()));
    // The path's own bytes, whatever their encoding.
    return chosen.isEmpty() ? std::string() : QFile::encodeName(chosen).toStdString();
}
