// One camera's frame path and frame memory: the newest camera frame converted to RGB and
// scaled to the picture size, and eight stored pictures that held keys show instead.
#ifndef KOVRA_APP_FRAMEMEMORY_H
#define KOVRA_APP_FRAMEMEMORY_H

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CVideoCapture;
class QWidget;

// User-interface thread only: the frame loop, the keys and the camera commands.
class CFrameMemory {
public:
    static constexpr int kKeys = 8;

    CFrameMemory();
    ~CFrameMemory();
    CFrameMemory(const CFrameMemory&) = delete;
    CFrameMemory& operator=(const CFrameMemory&) = delete;

    // Starts the camera at the device position and makes every buffer; false when the
    // camera cannot be started (the caller then treats the camera as having no device).
    bool Open(int position, QWidget* owner, bool showPinPages);
    // The same with a camera already started (elsewhere, such as the cameras' worker); false,
    // and the camera stopped, when the buffers cannot be made.
    bool Open(std::unique_ptr<CVideoCapture> capture);
    // Takes the camera away, running or not, and keeps every buffer: the last picture and
    // the stored ones go on showing until the next Open or Close.
    std::unique_ptr<CVideoCapture> Detach();
    // Frees the buffers and ends the camera. Safe to call twice.
    void Close();
    // Makes the current picture from the camera's newest frame.
    void Update();
    // A frame-memory key pressed or released; with record set, the current picture is
    // stored into the key that ends up shown.
    void KeyEvent(int key, bool pressed, bool record);

    // Camera frame (B, G, R, rows padded to 4 bytes) to packed R, G, B; row order kept.
    static void ConvertToRgb(const uint8_t* source, uint8_t* destination, int w, int h);
    // Nearest-neighbour stretch of packed RGB w x h into tw x th.
    static void Scale(const uint8_t* source, int w, int h, uint8_t* destination, int tw, int th);

    // Four picture pixels of one row made with byte shuffles: the 16 camera bytes at each
    // load offset (from the row's first byte) and, per load, the source byte of each of the
    // 16 bytes written (0x80: none).
    struct PixelQuad {
        int32_t load[2];
        uint8_t mask[2][16];
    };

    // Both steps in one pass over precomputed source rows and columns: the picture is the
    // same, byte for byte, as Scale after ConvertToRgb. The tables come from MakeScaleTables.
    struct ScaleTables {
        std::vector<int> rowOffset;     // per picture row: its camera row's first byte
        std::vector<int> columnOffset;  // per picture column: its camera pixel's byte, or -1
        bool allColumnsInside = true;   // no -1 among them
        // The leading columns of every row in quads, for processors with SSSE3; the rest of
        // the row goes byte by byte. quadLoads is 1 or 2 loads per quad, 0 when the camera
        // format does not suit them (then quads is empty).
        std::vector<PixelQuad> quads;
        int quadLoads = 0;
    };
    static ScaleTables MakeScaleTables(int w, int h, int tw, int th);
    // The fastest route this processor has; every route gives the same picture.
    static void ConvertAndScale(const uint8_t* frame, const ScaleTables& tables,
                                uint8_t* destination);
    // The route every processor has: one byte at a time.
    static void ConvertAndScalePortable(const uint8_t* frame, const ScaleTables& tables,
                                        uint8_t* destination);

    // Whether a key's slot holds a stored picture: set when one is stored into it, cleared
    // for every slot when a camera opens (and at the close). The handler hears of each slot
    // that becomes filled or empty (feedback to the controller's LEDs).
    bool Filled(int key) const { return key >= 0 && key < kKeys && m_bFilled[key]; }
    void SetFilledHandler(std::function<void(int key, bool filled)> handler)
    {
        m_filledChanged = std::move(handler);
    }

    // The handler hears of each change of the capture held: opened, closed or detached (the
    // clip controls' feedback follows the clip that plays).
    void SetCaptureHandler(std::function<void()> handler) { m_captureChanged = std::move(handler); }

    int Shown() const { return m_nShown; }
    bool IsOpen() const { return m_pCapture != nullptr; }
    CVideoCapture* Capture() const { return m_pCapture.get(); }
    const uint8_t* Picture() const { return m_pScaled.data(); }
    const uint8_t* StoredPicture(int key) const { return m_pSlot[key].data(); }

    int m_nTargetWidth = 0;
    int m_nTargetHeight = 0;

private:
    std::unique_ptr<CVideoCapture> m_pCapture;  // null while the camera has no device
    std::vector<uint8_t> m_pRaw;
    std::vector<uint8_t> m_pScaled;
    std::array<std::vector<uint8_t>, kKeys> m_pSlot;
    ScaleTables m_tables;
    int m_nShown = -1;  // -1: the live picture; 0..7: that key's stored picture
    std::array<int, kKeys> m_nStamp = {-1, -1, -1, -1, -1, -1, -1, -1};
    std::array<bool, kKeys> m_bFilled{};
    std::function<void(int, bool)> m_filledChanged;
    std::function<void()> m_captureChanged;
    void SetFilled(int key, bool filled);
};

#endif
