// kovra-render: draws effects offscreen to PNG files, with built-in camera pictures or two
// image files standing in for the cameras. One effect, or a contact sheet of all sixteen.
#include <GL/gl.h>

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <vector>

#include "CameraTexture.h"
#include "KovraEff.h"
#include "OffscreenGl.h"

namespace {

const char* const kEffectNames[16] = {
    "Cube",  "CrossFade", "SplitX",     "SplitY",  "QuadShift",    "Fold", "ScrollX", "ScrollY",
    "PushX", "PushY",     "SphereGrid", "Pyramid", "FloorCeiling", "Echo", "Slats",   "Title"};

// A camera picture that shows which camera it is and which way is up.
QImage BuiltInPicture(bool cameraA)
{
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB888);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, kPictureHeight);
    sky.setColorAt(0, cameraA ? QColor(40, 90, 200) : QColor(200, 60, 40));
    sky.setColorAt(1, cameraA ? QColor(150, 220, 255) : QColor(255, 200, 80));
    p.fillRect(image.rect(), sky);
    // Vertical bars along the bottom show left from right.
    const QColor bars[] = {Qt::white,   Qt::yellow, Qt::cyan, Qt::green,
                           Qt::magenta, Qt::red,    Qt::blue, Qt::black};
    for (int i = 0; i < 8; ++i) p.fillRect(i * 64, 304, 64, 80, bars[i]);
    QFont font("DejaVu Sans", 150, QFont::Bold);
    p.setFont(font);
    p.setPen(cameraA ? QColor(255, 255, 255) : QColor(20, 20, 60));
    p.drawText(QRect(0, 20, kPictureWidth, 260), Qt::AlignCenter, cameraA ? "A" : "B");
    QPainterPath arrow;
    arrow.moveTo(440, 40);
    arrow.lineTo(480, 110);
    arrow.lineTo(400, 110);
    arrow.closeSubpath();
    p.fillPath(arrow, Qt::white);
    p.fillRect(428, 110, 24, 110, Qt::white);
    p.end();
    return image;
}

// Loads an image as a camera picture: 512 x 384, RGB, first row at the bottom.
bool LoadPicture(const QString& path, bool cameraA, std::vector<uint8_t>& rgb)
{
    QImage image = path.isEmpty() ? BuiltInPicture(cameraA) : QImage(path);
    if (image.isNull()) return false;
    image =
        image.scaled(kPictureWidth, kPictureHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB888)
            .mirrored(false, true);
    rgb.resize(kPictureWidth * kPictureHeight * 3);
    for (int y = 0; y < kPictureHeight; ++y) {
        std::copy_n(image.constScanLine(y), kPictureWidth * 3, &rgb[y * kPictureWidth * 3]);
    }
    return true;
}

QImage ToImage(const std::vector<uint8_t>& rgba, int width, int height)
{
    QImage image(rgba.data(), width, height, width * 4, QImage::Format_RGBA8888);
    return image.mirrored(false, true).convertToFormat(QImage::Format_RGB888);
}

QImage RenderEffect(OffscreenGl& gl, int effect, const EffectParams& params, int frames)
{
    KOVRAEFF_Reset(effect);
    for (int i = 0; i < frames; ++i) KOVRAEFF_Draw(effect, &params);
    return ToImage(gl.ReadPixels(), gl.Width(), gl.Height());
}

QImage ContactSheet(OffscreenGl& gl, const EffectParams& params, int frames)
{
    const int tileW = gl.Width() / 2, tileH = gl.Height() / 2;
    QImage sheet(tileW * 4, tileH * 4, QImage::Format_RGB888);
    QPainter p(&sheet);
    p.setFont(QFont("DejaVu Sans", 11, QFont::Bold));
    for (int effect = 0; effect < 16; ++effect) {
        const QImage tile =
            RenderEffect(gl, effect, params, frames)
                .scaled(tileW, tileH, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QPoint at((effect % 4) * tileW, (effect / 4) * tileH);
        p.drawImage(at, tile);
        const QString label = QString("%1 %2").arg(effect).arg(kEffectNames[effect]);
        const QRect box(at + QPoint(4, 4), QSize(p.fontMetrics().horizontalAdvance(label) + 8,
                                                 p.fontMetrics().height() + 2));
        p.fillRect(box, QColor(0, 0, 0, 170));
        p.setPen(Qt::white);
        p.drawText(box, Qt::AlignCenter, label);
    }
    p.end();
    return sheet;
}

}  // namespace

int main(int argc, char** argv)
{
    // Fonts for the labels need an application object; no display is wanted.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser cli;
    cli.setApplicationDescription(
        "Draws a Kovra effect offscreen to a PNG file, or all sixteen as a contact sheet.");
    cli.addHelpOption();
    cli.addOptions({
        {"effect", "Effect number 0..15.", "n", "0"},
        {"ctrl1", "Ctrl 1, 0..127.", "value", "64"},
        {"ctrl2", "Ctrl 2, 0..127.", "value", "64"},
        {"frames", "Frames to draw after choosing the effect.", "n", "30"},
        {"size", "Frame size.", "WxH", "640x480"},
        {"camera-a", "Image file for camera A (default: built-in picture).", "file"},
        {"camera-b", "Image file for camera B (default: built-in picture).", "file"},
        {"sheet", "Draw all sixteen effects as one 4 x 4 contact sheet."},
        {{"o", "output"}, "PNG file to write.", "file", "kovra.png"},
    });
    cli.process(app);

    const QStringList size = cli.value("size").split('x');
    const int width = size.value(0).toInt(), height = size.value(1).toInt();
    const int effect = cli.value("effect").toInt();
    const int frames = cli.value("frames").toInt();
    if (width <= 0 || height <= 0 || effect < 0 || effect > 15 || frames < 1) {
        std::fprintf(stderr, "kovra-render: effect 0..15, frames 1 or more, size WxH\n");
        return 2;
    }
    OffscreenGl gl(width, height);
    if (!gl.Ok()) {
        std::fprintf(stderr, "kovra-render: no OpenGL context: %s\n", gl.Error().c_str());
        return 1;
    }
    std::vector<uint8_t> a, b;
    if (!LoadPicture(cli.value("camera-a"), true, a) ||
        !LoadPicture(cli.value("camera-b"), false, b)) {
        std::fprintf(stderr, "kovra-render: cannot read a camera image\n");
        return 1;
    }
    CreateCameraTexture(kTextureA, 512, 512);
    CreateCameraTexture(kTextureB, 512, 512);
    UploadCameraPicture(kTextureA, a.data(), 1, 0, kPictureWidth, kPictureHeight);
    UploadCameraPicture(kTextureB, b.data(), 1, 0, kPictureWidth, kPictureHeight);
    KOVRAEFF_Init();

    const EffectParams params = {cli.value("ctrl1").toInt(),
                                 cli.value("ctrl2").toInt(),
                                 0,
                                 0,
                                 kTextureA,
                                 1.0f,
                                 0.75f,
                                 kTextureB,
                                 1.0f,
                                 0.75f};
    const QImage image = cli.isSet("sheet") ? ContactSheet(gl, params, frames)
                                            : RenderEffect(gl, effect, params, frames);
    const QString out = cli.value("output");
    if (!image.save(out, "PNG")) {
        std::fprintf(stderr, "kovra-render: cannot write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%s\n", qPrintable(out));
    return 0;
}
