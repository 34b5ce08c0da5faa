// One camera as a stream of frames: a GStreamer pipeline from the device's source through
// a conversion to 24-bit BGR into a sink whose callback keeps the newest frame in one
// buffer, which the main thread copies out whole at its own pace.
#ifndef KOVRA_CAPTURE_VIDEOCAPTURE_H
#define KOVRA_CAPTURE_VIDEOCAPTURE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

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
    // Where samples go and how rows are laid out. Once it returns, no copy into the previous
    // buffer is under way and none will be: it waits for one in progress.
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

    // Plays the file at `path` (a clip or a still picture) in place of the device, from the
    // next OpenSource or BuildGraph on; an empty path goes back to the device. The file is
    // opened without blocking and only when it is a regular file. A clip loops at its own
    // rate; a still is decoded once. Everything else about the capture (the frame buffer, Lost,
    // the sizes) is as for a camera. A file that cannot play fails the build, with one line on
    // standard error saying why (FileProblem).
    void SetFile(const std::string& path);
    const std::string& File() const { return m_file; }
    // The size a still picture is decoded at, the picture's (512 x 384 unless told).
    void SetStillSize(int width, int height)
    {
        m_nStillWidth = width;
        m_nStillHeight = height;
    }
    // Why the file last failed to play, or stopped; empty when it plays (or there is none).
    std::string FileProblem() const;

    // The clip's controls; nothing where the capture plays no clip. Any thread: the seeks run
    // on GStreamer's own threads, and each applies the newest wish. Speed is clamped to
    // 0.25..4. Reverse needs a clip whose frames stand alone (MJPEG, a picture sequence); any
    // other is left playing forwards, with one line on standard error.
    void SetClipSpeed(double speed);
    void ToggleClipPause();
    void RestartClip();
    void ToggleClipReverse();
    double ClipSpeed() const;  // 1 where no clip plays
    bool ClipPaused() const;
    bool ClipReversed() const;
    // The running clip's segment rate as the sink sees it (a segment query); 0 when none.
    double ClipSegmentRate() const;

    // Builds and runs the pipeline; true when it runs. With showPinPages the device's
    // formats are offered in a dialog owned by `owner` before the connection is made, and
    // the choice governs it. Every failure returns false and leaves nothing running. Apart
    // from the time the dialog is up and the device's open, it takes at most 10 s. Any
    // thread; with showPinPages the user-interface thread. The same as the three steps below.
    bool BuildGraph(bool showPinPages, QWidget* owner);
    // The build in steps, so that the format dialog can stay on the user-interface thread
    // while the device's calls run on the worker. OpenSource (any thread) makes the device's
    // source in a new pipeline and opens it; false when it cannot. ChooseFormat (the
    // user-interface thread) offers the opened source's formats; the choice governs the
    // connection, and the dialog's time does not count against the 10 s. StartGraph (any
    // thread) connects and runs it; false, with nothing left running, on any failure.
    bool OpenSource();
    void ChooseFormat(QWidget* owner);
    bool StartGraph();
    // Stops and dismantles the pipeline; true when stopped (or there was none). A pipeline
    // that would not stop is kept, detached from this object's buffer, until the program
    // ends, so that a streaming thread still inside it touches nothing freed.
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

    // True once the running pipeline posted an error on its bus (a camera unplugged, or a
    // driver that gave up): no more frames come, the last one stays. Cheap: the bus watch
    // sets a flag on the thread that posts.
    bool Lost() const;
    // True once the camera sent a frame of another size than the one the pipeline was built
    // for; such frames are not copied (they would shear), and the last frame stays.
    bool SizeChanged() const;

    // The pipeline and its elements (VideoCapture.cpp alone knows it).
    struct Pipeline;

private:
    struct PipelineDismantler {
        void operator()(Pipeline* pipeline) const;
    };
    bool OpenFile(std::unique_ptr<Pipeline, PipelineDismantler> graph);
    // One line on standard error; always false.
    bool FileFailed(const std::string& why);
    bool ClipFailed(Pipeline& graph);

    std::unique_ptr<Pipeline> m_pGraph;   // the pipeline and its elements; empty when none
    std::unique_ptr<Pipeline> m_pOpened;  // between OpenSource and StartGraph
    std::unique_ptr<CGrabberCallback> m_pCallback;
    int m_nDevice = 0;
    std::string m_file;       // the file played in place of the device; empty for the device
    int m_nStillWidth = 512;  // a still's decoded size
    int m_nStillHeight = 384;
    bool m_bStill = false;  // the frame is a still picture's, and no pipeline runs
    std::string m_problem;  // why the file would not open; set by the build
    std::unique_ptr<uint8_t[]> m_pFrame;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nFrameSize = 0;
    std::mutex m_lock;  // the frame buffer: the streaming thread's copy in, the main thread's out
};

#endif
