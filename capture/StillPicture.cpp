// Still pictures through Qt's image reader; see StillPicture.h.
#include "StillPicture.h"

#include <QFile>
#include <QImage>
#include <QImageReader>

#include <cstring>
#include <new>

namespace {

// A reader of its own over the descriptor, from the file's start, whatever position the
// descriptor has: each QFile reads through a descriptor of its own to that same file.
struct Reader {
    QFile file;
    QImageReader reader;
    explicit Reader(int fd)
    {
        file.setFileName(QString::fromLatin1("/proc/self/fd/") + QString::number(fd));
        if (file.open(QIODevice::ReadOnly)) reader.setDevice(&file);
        reader.setAllocationLimit(kStillLimitMb);
    }
};

}  // namespace

bool IsStillPicture(int fd)
{
    Reader open(fd);
    return open.file.isOpen() && open.reader.canRead();
}

bool DecodeStill(int fd, int width, int height, StillFrame& frame, std::string& problem)
{
    Reader open(fd);
    const QSize own = open.reader.size();
    // Refused before decoding: a picture's header alone may ask for gigabytes.
    if (own.isValid() && static_cast<long long>(own.width()) * own.height() * 4 >
                             static_cast<long long>(kStillLimitMb) * 1024 * 1024) {
        problem = "picture too large (" + std::to_string(own.width()) + "x" +
                  std::to_string(own.height()) + ")";
        return false;
    }
    open.reader.setScaledSize(QSize(width, height));
    QImage image = open.reader.read();
    if (image.isNull()) {
        problem = open.reader.errorString().toStdString();
        return false;
    }
    if (image.size() != QSize(width, height))
        image = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(QImage::Format_BGR888);
    const int stride = (width * 3 + 3) & ~3;
    frame.bytes.reset(new (std::nothrow) uint8_t[static_cast<size_t>(stride) * height]());
    if (!frame.bytes) {
        problem = "out of memory";
        return false;
    }
    for (int row = 0; row < height; ++row)
        std::memcpy(frame.bytes.get() + static_cast<size_t>(height - 1 - row) * stride,
                    image.constScanLine(row), static_cast<size_t>(width) * 3);
    frame.width = width;
    frame.height = height;
    frame.size = stride * height;
    return true;
}
