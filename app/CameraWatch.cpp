// The main window's cameras by name: started at set-up where their remembered name now sits,
// both at once on the worker; the camera commands; a camera noticed when lost or resized and
// started again on the worker when a listing (brought by the device monitor) shows it back;
// and their names kept in the settings file.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CameraDeviceDlg.h"
#include "CameraStarter.h"
#include "DeviceNames.h"
#include "FileUri.h"
#include "FileWait.h"
#include "IniFile.h"
#include "MainDlg.h"
#include "VideoCapture.h"

namespace {

using Clock = std::chrono::steady_clock;
// How long set-up (for both cameras together) and a camera command wait for a start.
constexpr std::chrono::seconds kStartWait{10};

}  // namespace

void CMainDlg::StartCameras()
{
    if (!m_pStarter) {
        CCameraStarter::Handlers handlers;
        handlers.started = [this](CCameraStarter::Result& result) { TakeStartedCamera(result); };
        handlers.listed = [this](const std::vector<std::string>& names, unsigned number) {
            ListedCamera(Slot(0), m_nDeviceB, names, number);
            ListedCamera(Slot(1), m_nDeviceA, names, number);
        };
        m_pStarter = std::make_unique<CCameraStarter>(m_worker, this, std::move(handlers));
        m_cameraA.fileWait = std::make_shared<CFileWait>(m_worker, this);
        m_cameraB.fileWait = std::make_shared<CFileWait>(m_worker, this);
    }
    RememberFiles();                       // before the first listing, which lists them
    std::optional<SourceListing> listing;  // one for both cameras, made when needed
    CCameraStarter::PendingPtr pending[2];
    for (int camera = 0; camera < 2; ++camera) pending[camera] = StartCamera(Slot(camera), listing);
    const Clock::time_point deadline = Clock::now() + kStartWait;
    for (int camera = 0; camera < 2; ++camera) {
        if (!pending[camera]) continue;
        const CameraSlot slot = Slot(camera);
        CCameraStarter::Result result;
        slot.memo.starting = false;
        if (!m_pStarter->TakeWhenDone(pending[camera], deadline, result) || !result.capture ||
            !slot.memory.Open(std::move(result.capture))) {
            slot.device = 0;
            continue;
        }
        slot.device = result.position;
        if (slot.memo.name.empty()) slot.memo.name = result.name;
    }
}

CCameraStarter::PendingPtr CMainDlg::StartCamera(const CameraSlot& slot,
                                                 std::optional<SourceListing>& listing)
{
    CameraMemo& memo = slot.memo;
    memo.absent = memo.starting = false;
    if (slot.device == 0 && memo.name.empty() && memo.file.empty()) return nullptr;
    // A listing that does not come in time finds nothing: a named camera is then waited for.
    if (!listing) m_pStarter->ListNow(listing.emplace(), kCameraListWaitMs);
    if (!memo.file.empty()) {
        StartFileEntry(slot, *listing);
        return nullptr;
    }
    const std::vector<std::string>& names = listing->names;
    if (!memo.name.empty()) {
        const int position = PositionOfName(names, memo.name);
        if (position == 0) {
            // Held apart, written back unchanged, and started when it appears.
            memo.heldPosition = slot.device;
            memo.absent = memo.armed = true;
            slot.device = 0;
            return nullptr;
        }
        slot.device = position;
    }
    // A position or name of a file entry chooses that file, as the list numbers it.
    if (slot.device >= 1 && slot.device <= static_cast<int>(listing->files.size()) &&
        !listing->files[slot.device - 1].empty()) {
        memo.file = listing->files[slot.device - 1];
        RememberFiles();
        StartFileEntry(slot, *listing);
        return nullptr;
    }
    memo.starting = true;
    const std::string name = memo.name.empty() ? RememberedName(names, slot.device) : memo.name;
    return m_pStarter->Start(slot.index, ++memo.ticket, name, slot.device);
}

void CMainDlg::StopCameras()
{
    for (int camera = 0; camera < 2; ++camera) {
        const CameraSlot slot = Slot(camera);
        if (slot.memo.fileWait) slot.memo.fileWait->Stop();
        if (m_pStarter) m_pStarter->Dispose(slot.memo.name, slot.device, slot.memory.Detach());
        if (slot.device != 0) slot.memory.Close();
    }
    m_pStarter.reset();  // what the worker still holds of it stops there
}

void CMainDlg::WatchCameras()
{
    if (!m_pStarter) return;
    WatchCamera(Slot(0));
    WatchCamera(Slot(1));
    m_pStarter->SetWatching(m_cameraA.absent || m_cameraB.absent);
}

void CMainDlg::WatchCamera(const CameraSlot& slot)
{
    CameraMemo& memo = slot.memo;
    const CVideoCapture* capture = slot.memory.Capture();
    if (capture && capture->SizeChanged() && !capture->Lost()) {
        // Rebuilt at the new size on the worker; the last picture shows meanwhile. Should the
        // rebuild fail, the next listing that shows the camera tries once more.
        memo.starting = memo.armed = true;
        m_pStarter->Dispose(memo.name, slot.device, slot.memory.Detach());
        if (memo.file.empty())
            m_pStarter->Start(slot.index, ++memo.ticket, memo.name, slot.device);
        else
            m_pStarter->StartFile(slot.index, ++memo.ticket, memo.file, slot.device,
                                  m_picture.width, m_picture.height);
    } else if (capture && capture->Lost()) {
        // Unplugged: the last picture stays, and the camera is waited for by its name.
        m_pStarter->Dispose(memo.name, slot.device, slot.memory.Detach());
        memo.absent = !memo.name.empty();
        memo.armed = true;
        memo.heldPosition = slot.device;
        memo.seen = m_pStarter->ListingsAsked();  // a listing from before the unplug tells nothing
    }
}

void CMainDlg::ListedCamera(const CameraSlot& slot, int otherDevice,
                            const std::vector<std::string>& names, unsigned number)
{
    CameraMemo& memo = slot.memo;
    if (!memo.absent || memo.starting || number <= memo.seen) return;
    memo.seen = number;
    const int position = PositionOfName(names, memo.name);
    if (position == 0) {
        memo.armed = true;  // gone: its next appearance is worth a start
    } else if (memo.armed && position != otherDevice) {
        memo.armed = false;
        memo.starting = true;
        m_pStarter->Start(slot.index, ++memo.ticket, memo.name, position);
    }
}

void CMainDlg::TakeStartedCamera(CCameraStarter::Result& result)
{
    const CameraSlot slot = Slot(result.slot);
    const int otherDevice = result.slot == 0 ? m_nDeviceB : m_nDeviceA;
    CameraMemo& memo = slot.memo;
    if (result.ticket != memo.ticket || !memo.starting) {
        // Asked for before a newer choice.
        m_pStarter->Dispose(result.name, result.position, std::move(result.capture));
        return;
    }
    memo.starting = false;
    if (!result.capture || result.position == otherDevice) {
        m_pStarter->Dispose(result.name, result.position, std::move(result.capture));
        // Not there after all, or it would not start: waited for until it shows again.
        if (slot.device != 0) memo.heldPosition = slot.device;
        memo.absent = !memo.name.empty();
        return;
    }
    m_pStarter->Dispose(memo.name, slot.device, slot.memory.Detach());
    if (!slot.memory.Open(std::move(result.capture))) {
        slot.device = 0;
        return;
    }
    slot.device = result.position;
    memo.absent = false;
    if (memo.name.empty()) memo.name = result.name;
}

bool CMainDlg::StartCameraNow(const CameraSlot& slot)
{
    CCameraStarter::Result result;
    if (!m_pStarter->TakeWhenDone(
            m_pStarter->Start(slot.index, slot.memo.ticket, slot.memo.name, slot.device),
            Clock::now() + kStartWait, result) ||
        !result.capture || !slot.memory.Open(std::move(result.capture)))
        return false;
    slot.device = result.position;
    if (slot.memo.name.empty()) slot.memo.name = result.name;
    return true;
}

void CMainDlg::OnCameraDevice(const CameraSlot& slot, int otherDevice)
{
    if (!m_pStarter) return;
    const int previous = slot.device;
    const std::string previousName = slot.memo.name;
    m_bRunning = false;
    // While the remembered camera is away, nothing is selected: OK without a choice, or
    // cancel, leaves the slot waiting for it.
    int position = slot.memo.absent ? -1 : slot.device;
    std::string name = slot.memo.name;
    std::string file = slot.memo.file;
    const std::string otherFile = Slot(1 - slot.index).memo.file;
    CCameraDeviceDlg dlg(position, name, this);
    // A camera driver that hangs in the listing leaves the dialog with the newest listing.
    // A chosen file opens the dialog on its entry wherever the list has moved it.
    dlg.SetSources(
        [this, &position, &file] {
            SourceListing listing;
            m_pStarter->ListNow(listing, kCameraListWaitMs);
            if (!file.empty()) position = PositionOfFile(listing, file);
            return listing;
        },
        [this] { return ChooseFile(); }, file);
    dlg.exec();  // OK or cancel: only the position counts
    if (position < 0 || (position != 0 && file.empty() && position == otherDevice) ||
        (!file.empty() && file == otherFile)) {
        // Nothing chosen, or one entry for both cameras: the camera runs on (or waits on).
        m_bRunning = true;
        return;
    }
    // A choice ends the wait and any start on its way.
    slot.memo.absent = false;
    slot.memo.starting = false;
    ++slot.memo.ticket;
    slot.memo.name = name;  // "" for None
    slot.memo.file = file;  // "" for a device
    slot.memo.fileMissing = false;
    slot.memo.fileWait->Stop();
    RememberFiles();
    slot.device = position;
    // Also the unchanged device: closing the dialog restarts the camera on it, once the old
    // pipeline has let go of it (the same device's lane keeps the order).
    if (previous != 0) {
        m_pStarter->Dispose(previousName, previous, slot.memory.Detach());
        slot.memory.Close();
    }
    if (!file.empty()) {
        // Its place once remembered: a file from elsewhere joins the list before Open File.
        SourceListing listing;
        m_pStarter->ListNow(listing, kCameraListWaitMs);
        StartFileEntry(slot, listing);
    } else if (slot.device != 0 && !StartCameraNow(slot)) {
        slot.device = 0;
    }
    m_bRunning = true;
}

void CMainDlg::OnCameraPin(const CameraSlot& slot)
{
    // A camera that is away may have left its position to another device.
    // A file has no formats to choose.
    if (slot.device == 0 || slot.memo.absent || !slot.memo.file.empty() || !m_pStarter) return;
    CameraMemo& memo = slot.memo;
    memo.starting = false;
    const unsigned ticket = ++memo.ticket;
    m_bRunning = false;
    m_pStarter->Dispose(memo.name, slot.device, slot.memory.Detach());
    slot.memory.Close();
    // The device opens on the worker; its formats are offered here, before it is connected;
    // the connection and the wait for the first frame run on the worker again.
    CCameraStarter::Result opened;
    CCameraStarter::Result started;
    if (m_pStarter->TakeWhenDone(m_pStarter->Open(slot.index, ticket, memo.name, slot.device),
                                 Clock::now() + kStartWait, opened) &&
        opened.capture) {
        opened.capture->ChooseFormat(this);
        m_pStarter->TakeWhenDone(
            m_pStarter->Run(slot.index, ticket, memo.name, slot.device, std::move(opened.capture)),
            Clock::now() + kStartWait, started);
    }
    if (!started.capture || !slot.memory.Open(std::move(started.capture))) slot.device = 0;
    m_bRunning = true;
}

void CMainDlg::ExchangeCameraSettings(IniProfile& profile, bool load)
{
    const char* const keys[2] = {"NAME1", "NAME2"};
    const char* const positions[2] = {"DEVICE1", "DEVICE2"};
    const char* const files[2] = {"PATH1", "PATH2"};
    for (int camera = 0; camera < 2; ++camera) {
        const CameraSlot slot = Slot(camera);
        CameraMemo& memo = slot.memo;
        if (load) {
            memo = CameraMemo();
            memo.nameInFile = profile.GetString("CAMERA", keys[camera], memo.name);
            std::string uri;
            memo.fileInFile = profile.GetString("CAMERA", files[camera], uri);
            if (!uri.empty() && !PathOfFileUri(uri, memo.file)) memo.file.clear();
            continue;
        }
        // A file has no device: its position is the one it had in the list.
        if (!memo.file.empty())
            profile.Set("CAMERA", positions[camera], std::to_string(memo.heldPosition));
        if (!memo.file.empty() || memo.fileInFile)
            profile.Set("CAMERA", files[camera], memo.file.empty() ? "" : FileUriOfPath(memo.file));
        // An absent camera keeps its position in the file; the key after the position's own
        // line in the same write wins.
        if (memo.absent)
            profile.Set("CAMERA", positions[camera], std::to_string(memo.heldPosition));
        // A file without names gets them once there is one to keep (or one to clear).
        if (!memo.name.empty() || memo.nameInFile) profile.Set("CAMERA", keys[camera], memo.name);
    }
}
