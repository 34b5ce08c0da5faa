// One camera as a stream of frames: a GStreamer pipeline from the device's source through
// a conversion to 24-bit BGR into a sink whose callback keeps the newest frame in one
// buffer, which the main thread copies out whole at its own pace.
#ifndef KOVRA_CAPTURE_VIDEOCAPTURE_H
#define KOVRA_CAPTURE_VIDEOCAPTURE_H

#include <cstdint>
#include <memory>
#include <mutex>

class QWidget;

// Receives the samples of the running pipeline. Owned by its CVideoCapture.
class CGrabberCallback {
public:
    // Called on the pipeline's streaming thread for every new sample (BGR rows of `stride`
    // bytes, top row first): copies it, at most the buffer's size, into the frame buffer
    // under the owner's lock with the rows in reverse order, so that the buffer's first row
    // is the picture's bottom row. A length of 0 or less copies nothing. The sample time is
    // not used.
    void BufferCB(double sampleTime, const uint8_t* buffer, long length);
    // Main thread, while no sample can arrive: where samples go and how rows are laid out.
    void SetBuffer(uint8_t* buffer, long size, int stride, std::mutex* lock);

private:
    // Guards the four fields below, so that the streaming thread sees them as they were last
    // set without relying on the pipeline's own locks (which ThreadSanitizer cannot see).
    std::mutex m_target;
    uint8_t* m_pBuffer = nullptr;
    long m_nBufferSize = 0;
    int m_nStride = 0;
    std::mutex* m_pLock = nullptr;
};

class CVideoCapture {
public:
    // The device position: 1-based over the device list, 0 = none. Nothing is opened yet.
    explicit CVideoCapture(int device);
    virtual ~CVideoCapture();
    CVideoCapture(const CVideoCapture&) = delete;
    CVideoCapture& operator=(const CVideoCapture&) = delete;

    // Builds and runs the pipeline; true when it runs. With showPinPages the device's
    // formats are offered in a dialog owned by `owner` before the connection is made, and
    // the choice governs it. Every failure returns false and leaves nothing running.
    bool BuildGraph(bool showPinPages, QWidget* owner);
    // Stops and dismantles the pipeline; true when stopped (or there was none).
    bool StopGraph();
    // Copies one whole frame of GetFrameSize() bytes into destination. Main thread.
    bool CopyFrame(uint8_t* destination);

    // The connected format: width, height, and the frame buffer's size in bytes (rows of
    // width x 3 bytes padded to a multiple of 4, bottom row first).
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    int GetFrameSize() const { return m_nFrameSize; }

    // The running device's own controls in a modal dialog captioned "Video Capture".
    bool ShowFilterPages(QWidget* owner);

private:
    struct Pipeline;
    std::unique_ptr<Pipeline> m_pGraph;  // the pipeline and its elements; empty when none
    std::unique_ptr<CGrabberCallback> m_pCallback;
    int m_nDevice = 0;
    std::unique_ptr<uint8_t[]> m_pFrame;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nFrameSize = 0;
    std::mutex m_lock;  // the frame buffer: the streaming thread's copy in, the main thread's out
};

#endif
