// The real program with memo windows: pictures written to a private folder, the frame's
// commands run as the menu runs them (failures end in the failure box), and files checked
// with a reader that is not ours (Python's PIL).
#pragma once

#include "support/ProgramFixture.h"

#include "memo/MemoWindow.h"
#include "memo/ImageArea.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>

#include <optional>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QSize& size, std::ostream* os)
{
    *os << size.width() << "x" << size.height();
}

// Black and white with no symmetry, so a flip, shift or scale shows.
inline QImage pattern(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool black = x == 0 || y == 0 || x == y || (x * 7 + y * 3) % 11 == 0;
            image.setPixel(x, y, black ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    return image;
}

// '1' for a black pixel, row after row.
inline QString bitsOf(const QImage& image)
{
    QString bits;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            bits += qGray(rgb.pixel(x, y)) < 128 ? QLatin1Char('1') : QLatin1Char('0');
    return bits;
}

// Where a region selection holds the pointer: the part of the picture that shows, in screen
// pixels (right and bottom inclusive): the picture as far as the window's scroll area, the MDI
// area and the frame let it show.
inline QRect VisiblePicture(const MemoWindow* memo)
{
    QRect r(memo->Image1->mapToGlobal(QPoint(0, 0)), memo->Image1->size());
    for (const QWidget* w = memo->Image1->parentWidget(); w && !w->isWindow(); w = w->parentWidget())
        r &= QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
    return r;
}

class MemoFixture : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        start();
    }

    void TearDown() override
    {
        flushDeletes();
        ProgramFixture::TearDown();
    }

    QString path(const QString& name) const { return dir_.filePath(name); }

    QString writeImage(const QString& name, const QImage& image, const char* format = "BMP") const
    {
        const QString p = path(name);
        EXPECT_TRUE(image.save(p, format)) << p.toStdString();
        return p;
    }

    static QByteArray bytesOf(const QString& p)
    {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static void writeBytes(const QString& p, const QByteArray& bytes)
    {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // A frame command, run as its menu item runs it.
    static void command(const char* name)
    {
        for (QMenu* menu : {MainForm->File1, MainForm->Edit1})
            for (QAction* a : menu->actions())
                if (a->objectName() == QLatin1String(name)) {
                    a->trigger();
                    flushDeletes();
                    return;
                }
        ADD_FAILURE() << "no frame command " << name;
    }

    MemoWindow* open(const QString& file)
    {
        fileAnswers.push_back(file);
        command("Open1");
        return MainForm->activeMemo();
    }

    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    struct FileFacts {
        QString format;   // as PIL names it
        int bitCount = 0; // from the BMP header
        int width = 0;
        int height = 0;
        QString bits;     // as bitsOf
    };

    static std::optional<FileFacts> readIndependently(const QString& file)
    {
        static const char* script = R"(
import struct, sys
from PIL import Image
data = open(sys.argv[1], 'rb').read()
im = Image.open(sys.argv[1]); im.load()
g = im.convert('L')
w, h = im.size
print(im.format, struct.unpack('<H', data[28:30])[0], w, h)
print(''.join('1' if g.getpixel((x, y)) < 128 else '0' for y in range(h) for x in range(w)))
)";
        QProcess python;
        // The system's interpreter, which has the distribution's PIL (a PATH one may not).
        const QString interpreter = QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                       : QStringLiteral("python3");
        python.start(interpreter, {QStringLiteral("-c"), QLatin1String(script), file});
        if (!python.waitForFinished(60000) || python.exitCode() != 0) {
            ADD_FAILURE() << python.readAllStandardError().toStdString();
            return std::nullopt;
        }
        const QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'));
        const QStringList head = lines.value(0).split(QLatin1Char(' '));
        if (head.size() != 4)
            return std::nullopt;
        return FileFacts{head[0], head[1].toInt(), head[2].toInt(), head[3].toInt(), lines.value(1)};
    }

    int failureBoxes() const
    {
        int n = 0;
        for (const BoxRequest& b : boxes)
            n += b.failure ? 1 : 0;
        return n;
    }

private:
    QTemporaryDir dir_;
};
