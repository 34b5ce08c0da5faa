// The frame path of one camera and its eight stored pictures.
#include "FrameMemory.h"

#include <algorithm>
#include <cstring>

bool CFrameMemory::Open(int position, void* owner, bool showPinPages)
{
    (void)owner;
    (void)showPinPages;
    // Cameras arrive with the capture graph; until then no device position can be opened,
    // so every camera shows its placeholder.
    (void)position;
    Close();
    return false;
}

void CFrameMemory::Close()
{
    m_pRaw.clear();
    m_pRaw.shrink_to_fit();
    m_pRgb.clear();
    m_pRgb.shrink_to_fit();
    m_pScaled.clear();
    m_pScaled.shrink_to_fit();
    for (auto& slot : m_pSlot) {
        slot.clear();
        slot.shrink_to_fit();
    }
    m_nShown = -1;
    m_nStamp.fill(-1);
}

void CFrameMemory::Update() {}

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
    }
    m_nShown = result;
}
