// The frame path of one camera and its eight stored pictures.
#include "FrameMemory.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "FramePathShuffle.h"
#include "VideoCapture.h"

CFrameMemory::CFrameMemory() = default;
CFrameMemory::~CFrameMemory() { Close(); }

bool CFrameMemory::Open(int position, QWidget* owner, bool showPinPages)
{
    Close();
    auto capture = std::make_unique<CVideoCapture>(position);
    if (!capture->BuildGraph(showPinPages, owner)) return false;
    return Open(std::move(capture));
}

bool CFrameMemory::Open(std::unique_ptr<CVideoCapture> capture)
{
    Close();
    const size_t pictureSize = static_cast<size_t>(m_nTargetWidth) * m_nTargetHeight * 3;
    try {
        // Every buffer the frame path needs, zero-filled: a key never recorded is black.
        m_pRaw.assign(static_cast<size_t>(capture->GetFrameSize()), 0);
        m_pScaled.assign(pictureSize, 0);
        for (auto& slot : m_pSlot) slot.assign(pictureSize, 0);
        m_tables = MakeScaleTables(capture->GetWidth(), capture->GetHeight(), m_nTargetWidth,
                                   m_nTargetHeight);
    } catch (const std::bad_alloc&) {
        m_pCapture = std::move(capture);
        Close();
        return false;
    }
    m_pCapture = std::move(capture);
    m_nShown = -1;
    m_nStamp.fill(-1);
    if (m_captureChanged) m_captureChanged();
    return true;
}

std::unique_ptr<CVideoCapture> CFrameMemory::Detach()
{
    std::unique_ptr<CVideoCapture> capture = std::move(m_pCapture);
    if (capture && m_captureChanged) m_captureChanged();
    return capture;
}

void CFrameMemory::Close()
{
    for (std::vector<uint8_t>* buffer : {&m_pRaw, &m_pScaled}) std::vector<uint8_t>().swap(*buffer);
    for (auto& slot : m_pSlot) std::vector<uint8_t>().swap(slot);
    m_tables = ScaleTables();
    for (int key = 0; key < kKeys; ++key) SetFilled(key, false);
    if (m_pCapture) {
        m_pCapture->StopGraph();  // whatever it says, the object goes
        m_pCapture.reset();
        if (m_captureChanged) m_captureChanged();
    }
    m_nShown = -1;
    m_nStamp.fill(-1);
}

void CFrameMemory::Update()
{
    if (!m_pCapture) return;
    m_pCapture->CopyFrame(m_pRaw.data());
    ConvertAndScale(m_pRaw.data(), m_tables, m_pScaled.data());
}

CFrameMemory::ScaleTables CFrameMemory::MakeScaleTables(int w, int h, int tw, int th)
{
    // The same single-precision steps as Scale, worked out once per camera format.
    const float fx = 1.0f / (static_cast<float>(tw) / static_cast<float>(w));
    const float fy = 1.0f / (static_cast<float>(th) / static_cast<float>(h));
    const int stride = (w * 3 + 3) / 4 * 4;
    ScaleTables tables;
    tables.rowOffset.resize(static_cast<size_t>(th));
    tables.columnOffset.resize(static_cast<size_t>(tw));
    for (int y = 0; y < th; ++y) {
        const int sy = static_cast<int>(static_cast<float>(y) * fy);
        tables.rowOffset[y] = sy >= 0 && sy < h ? sy * stride : -1;
    }
    tables.allColumnsInside = true;
    for (int x = 0; x < tw; ++x) {
        const int sx = static_cast<int>(static_cast<float>(x) * fx);
        tables.columnOffset[x] = sx >= 0 && sx < w ? sx * 3 : -1;
        if (tables.columnOffset[x] < 0) tables.allColumnsInside = false;
    }
    if (FramePathShuffle::Available()) FramePathShuffle::MakeQuads(tables, w);
    return tables;
}

namespace {

// Picture pixels from column first on, one byte at a time.
void ConvertColumns(const uint8_t* row, const CFrameMemory::ScaleTables& tables, size_t first,
                    uint8_t* out)
{
    const int* const columns = tables.columnOffset.data();
    const size_t width = tables.columnOffset.size();
    const bool allColumns = tables.allColumnsInside;
    out += first * 3;
    for (size_t x = first; x < width; ++x, out += 3) {
        if (!allColumns && columns[x] < 0) continue;
        const uint8_t* bgr = row + columns[x];
        out[0] = bgr[2];
        out[1] = bgr[1];
        out[2] = bgr[0];
    }
}

void ConvertRows(const uint8_t* frame, const CFrameMemory::ScaleTables& tables,
                 uint8_t* destination, bool quads)
{
    const size_t rowBytes = tables.columnOffset.size() * 3;
    const size_t quadPixels = quads ? tables.quads.size() * 4 : 0;
    int previousRow = -1;
    const uint8_t* previousDestination = nullptr;
    for (const int rowOffset : tables.rowOffset) {
        if (rowOffset < 0) {
            destination += rowBytes;  // outside the camera frame: left as it was
            continue;
        }
        if (rowOffset == previousRow) {
            // A camera with fewer rows than the picture: the same row again, already made.
            std::memcpy(destination, previousDestination, rowBytes);
        } else {
            const uint8_t* row = frame + rowOffset;
            if (quads) FramePathShuffle::ConvertRow(row, tables, destination);
            ConvertColumns(row, tables, quadPixels, destination);
        }
        previousRow = rowOffset;
        previousDestination = destination;
        destination += rowBytes;
    }
}

}  // namespace

void CFrameMemory::ConvertAndScale(const uint8_t* frame, const ScaleTables& tables,
                                   uint8_t* destination)
{
    // The tables carry quads only where the processor can shuffle them.
    ConvertRows(frame, tables, destination, tables.quadLoads > 0);
}

void CFrameMemory::ConvertAndScalePortable(const uint8_t* frame, const ScaleTables& tables,
                                           uint8_t* destination)
{
    ConvertRows(frame, tables, destination, false);
}

void CFrameMemory::ConvertToRgb(const uint8_t* source, uint8_t* destination, int w, int h)
{
    // Rows of the camera frame are padded to a multiple of 4 bytes.
    const int bits = 24 * w;
    const int pad = bits % 32 == 0 ? 0 : (32 - bits % 32) / 8;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            destination[0] = source[2];
            destination[1] = source[1];
            destination[2] = source[0];
            destination += 3;
            source += 3;
        }
        source += pad;
    }
}

void CFrameMemory::Scale(const uint8_t* source, int w, int h, uint8_t* destination, int tw, int th)
{
    // Single precision throughout, as the picture has always been scaled.
    const float fx = 1.0f / (static_cast<float>(tw) / static_cast<float>(w));
    const float fy = 1.0f / (static_cast<float>(th) / static_cast<float>(h));
    for (int y = 0; y < th; ++y) {
        const int sy = static_cast<int>(static_cast<float>(y) * fy);
        for (int x = 0; x < tw; ++x) {
            const int sx = static_cast<int>(static_cast<float>(x) * fx);
            if (sx >= 0 && sx < w && sy >= 0 && sy < h) {
                std::memcpy(destination, source + (static_cast<size_t>(sy) * w + sx) * 3, 3);
            }
            destination += 3;
        }
    }
}

void CFrameMemory::KeyEvent(int key, bool pressed, bool record)
{
    if (key < 0 || key >= kKeys) return;
    if (!pressed) m_nStamp[key] = -1;

    // The held keys form a stack by press time; among equal stamps the lowest key wins.
    int best = -1;
    int index = -1;
    for (int i = 0; i < kKeys; ++i) {
        if (m_nStamp[i] > best) {
            best = m_nStamp[i];
            index = i;
        }
    }
    int result = index;
    if (pressed) {
        m_nStamp[key] = best + 1;
        result = key;
    }

    if (result == -1) {
        m_nShown = -1;
        return;
    }
    // Without a camera there are no pictures to copy between.
    if (record && !m_pScaled.empty() && m_pSlot[result].size() == m_pScaled.size()) {
        std::copy(m_pScaled.begin(), m_pScaled.end(), m_pSlot[result].begin());
        SetFilled(result, true);
    }
    m_nShown = result;
}

void CFrameMemory::SetFilled(int key, bool filled)
{
    if (m_bFilled[key] == filled) return;
    m_bFilled[key] = filled;
    if (m_filledChanged) m_filledChanged(key, filled);
}
