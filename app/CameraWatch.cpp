// The main window's cameras by name: started at set-up where their remembered name now sits,
// noticed when lost or resized, started again by the cameras' worker when they come back,
// and their names kept in the settings file.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CameraStarter.h"
#include "DeviceNames.h"
#include "IniFile.h"
#include "MainDlg.h"
#include "VideoCapture.h"

void CMainDlg::StartCamera(const CameraSlot& slot, std::optional<std::vector<std::string>>& listing)
{
    CameraMemo& memo = slot.memo;
    memo.absent = memo.starting = false;
    if (slot.device == 0 && memo.name.empty()) return;
    // A listing that does not come in time finds nothing: a named camera is then waited for.
    if (!listing) m_pStarter->ListNow(listing.emplace(), kCameraListWaitMs);
    const std::vector<std::string>& names = *listing;
    if (!memo.name.empty()) {
        const int position = PositionOfName(names, memo.name);
        if (position == 0) {
            // Held apart, written back unchanged, and started when it appears.
            memo.heldPosition = slot.device;
            memo.absent = memo.armed = true;
            slot.device = 0;
            return;
        }
        slot.device = position;
    }
    if (!slot.memory.Open(slot.device, this, false)) {
        slot.device = 0;
        return;
    }
    if (memo.name.empty()) memo.name = RememberedName(names, slot.device);
}

void CMainDlg::WatchCameras()
{
    if (!m_pStarter) return;
    CCameraStarter::Result result;
    while (m_pStarter->TakeResult(result)) TakeStartedCamera(result);
    WatchCamera(Slot(0), m_nDeviceB);
    WatchCamera(Slot(1), m_nDeviceA);
    m_pStarter->SetWatching((m_cameraA.absent && !m_cameraA.starting) ||
                            (m_cameraB.absent && !m_cameraB.starting));
}

void CMainDlg::WatchCamera(const CameraSlot& slot, int otherDevice)
{
    CameraMemo& memo = slot.memo;
    const CVideoCapture* capture = slot.memory.Capture();
    if (capture && capture->SizeChanged() && !capture->Lost()) {
        // Rebuilt at the new size on the worker; the last picture shows meanwhile. Should the
        // rebuild fail, the next listing that shows the camera tries once more.
        memo.starting = memo.armed = true;
        m_pStarter->Start(slot.index, ++memo.ticket, memo.name, slot.device, slot.memory.Detach());
    } else if (capture && capture->Lost()) {
        // Unplugged: the last picture stays, and the camera is waited for by its name.
        m_pStarter->Dispose(slot.memory.Detach());
        memo.absent = !memo.name.empty();
        memo.armed = true;
        memo.heldPosition = slot.device;
        memo.seen = m_pStarter->Generation();  // a listing from before the unplug tells nothing
    }
    if (!memo.absent || memo.starting) return;
    const unsigned generation = m_pStarter->Generation();
    if (generation == memo.seen) return;
    memo.seen = generation;
    std::vector<std::string> names;
    m_pStarter->Listing(names);
    const int position = PositionOfName(names, memo.name);
    if (position == 0) {
        memo.armed = true;  // gone: its next appearance is worth a start
    } else if (memo.armed && position != otherDevice) {
        memo.armed = false;
        memo.starting = true;
        m_pStarter->Start(slot.index, ++memo.ticket, memo.name, position, nullptr);
    }
}

void CMainDlg::TakeStartedCamera(CCameraStarter::Result& result)
{
    const CameraSlot slot = Slot(result.slot);
    const int otherDevice = result.slot == 0 ? m_nDeviceB : m_nDeviceA;
    CameraMemo& memo = slot.memo;
    if (result.ticket != memo.ticket || !memo.starting) {
        m_pStarter->Dispose(std::move(result.capture));  // asked for before a newer choice
        return;
    }
    memo.starting = false;
    if (!result.capture || result.position == otherDevice) {
        m_pStarter->Dispose(std::move(result.capture));
        // Not there after all, or it would not start: waited for until it shows again.
        if (slot.device != 0) memo.heldPosition = slot.device;
        memo.absent = !memo.name.empty();
        return;
    }
    m_pStarter->Dispose(slot.memory.Detach());
    if (!slot.memory.Open(std::move(result.capture))) {
        slot.device = 0;
        return;
    }
    slot.device = result.position;
    memo.absent = false;
    if (memo.name.empty()) memo.name = result.name;
}

void CMainDlg::ExchangeCameraSettings(IniProfile& profile, bool load)
{
    const char* const keys[2] = {"NAME1", "NAME2"};
    const char* const positions[2] = {"DEVICE1", "DEVICE2"};
    for (int camera = 0; camera < 2; ++camera) {
        const CameraSlot slot = Slot(camera);
        CameraMemo& memo = slot.memo;
        if (load) {
            memo = CameraMemo();
            memo.nameInFile = profile.GetString("CAMERA", keys[camera], memo.name);
            continue;
        }
        // An absent camera keeps its position in the file; the key after the position's own
        // line in the same write wins.
        if (memo.absent)
            profile.Set("CAMERA", positions[camera], std::to_string(memo.heldPosition));
        // A file without names gets them once there is one to keep (or one to clear).
        if (!memo.name.empty() || memo.nameInFile) profile.Set("CAMERA", keys[camera], memo.name);
    }
}
