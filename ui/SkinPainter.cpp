#include "ui/SkinPainter.h"

#include <QBuffer>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "ui/commands/TextConv.h"
#include "ui/controls/ImageList.h"

namespace qm {

namespace {

const QColor kRed(214, 42, 42);
const QColor kYellow(238, 188, 24);
const QColor kGreen(44, 168, 64);
const QColor kGrey(140, 142, 152);
const QColor kBlue(40, 90, 200);
const QColor kOutline(40, 40, 40);

QColor StatusColour(int base) {
    switch (base) {
        case fiMissing: return kRed;
        case fiNeedsFixing: return kYellow;
        case fiGood: return kGreen;
        default: return kGrey;
    }
}

// Skins carry a one-colour mask, so every pixel is either the key colour or opaque:
// pictures are painted smoothly on a transparent canvas, then each pixel that is more
// than half covered becomes opaque and the rest becomes the key colour. Painting on the
// key colour directly would leave pink fringes around every shape.
QImage Flatten(const QImage& canvas) {
    QImage argb = canvas.convertToFormat(QImage::Format_ARGB32);
    QImage out(argb.size(), QImage::Format_RGB32);
    const QRgb key = TSkinPainter::KeyColor().rgb();
    for (int y = 0; y < argb.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            QRgb c = qAlpha(src[x]) >= 128 ? (src[x] | 0xFF000000u) : key;
            // A painted pixel that happens to be the key colour would vanish.
            if (c == key && qAlpha(src[x]) >= 128) c = qRgb(254, 0, 254);
            dst[x] = c;
        }
    }
    // The loader takes the bottom-left pixel as the transparent colour.
    out.setPixel(0, out.height() - 1, key);
    return out;
}

QImage Canvas(int count) {
    QImage canvas(count * SkinImageSize, SkinImageSize, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    return canvas;
}

QRectF Cell(int index) { return QRectF(index * SkinImageSize, 0, SkinImageSize, SkinImageSize); }

void Disc(QPainter& p, const QRectF& r, const QColor& colour) {
    QRadialGradient g(r.center() - QPointF(r.width() / 5, r.height() / 5), r.width() * 0.7);
    g.setColorAt(0, colour.lighter(160));
    g.setColorAt(1, colour.darker(115));
    p.setPen(QPen(colour.darker(180), 1));
    p.setBrush(g);
    p.drawEllipse(r);
}

void DumpMark(QPainter& p, const QRectF& cell) {
    const QRectF r(cell.left() + 9, cell.top() + 9, 6.5, 6.5);
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(QColor(30, 30, 110));
    p.drawEllipse(r);
    p.setPen(QPen(Qt::white, 1.2));
    p.drawLine(QPointF(r.center().x(), r.top() + 1.5), QPointF(r.center().x(), r.bottom() - 2.5));
}

void Folder(QPainter& p, const QRectF& cell, const QColor& colour) {
    const double x = cell.left(), y = cell.top();
    QPainterPath path;
    path.moveTo(x + 1.5, y + 3.5);
    path.lineTo(x + 6, y + 3.5);
    path.lineTo(x + 7.5, y + 5);
    path.lineTo(x + 14.5, y + 5);
    path.lineTo(x + 14.5, y + 13.5);
    path.lineTo(x + 1.5, y + 13.5);
    path.closeSubpath();
    QLinearGradient g(x, y + 3, x, y + 14);
    g.setColorAt(0, colour.lighter(150));
    g.setColorAt(1, colour);
    p.setPen(QPen(colour.darker(190), 1));
    p.setBrush(g);
    p.drawPath(path);
    p.setPen(QPen(colour.lighter(170), 1));
    p.drawLine(QPointF(x + 2.5, y + 6.5), QPointF(x + 13.5, y + 6.5));
}

void Zip(QPainter& p, const QRectF& cell, const QColor& colour) {
    const QRectF box = cell.adjusted(2.5, 2.5, -2.5, -1.5);
    QLinearGradient g(box.topLeft(), box.bottomRight());
    g.setColorAt(0, colour.lighter(150));
    g.setColorAt(1, colour.darker(110));
    p.setPen(QPen(colour.darker(190), 1));
    p.setBrush(g);
    p.drawRect(box);
    // The zipper down the middle.
    p.setPen(Qt::NoPen);
    const double cx = box.center().x();
    for (int i = 0; i < 5; ++i) {
        p.setBrush(i % 2 ? QColor(250, 250, 250) : QColor(50, 50, 50));
        p.drawRect(QRectF(cx - 1.5 + (i % 2), box.top() + 1 + i * 2, 2, 2));
    }
    p.setBrush(QColor(60, 60, 60));
    p.drawRect(QRectF(cx - 2, box.top() + 10, 4, 2.5));
}

void Drive(QPainter& p, const QRectF& cell, bool readOnly) {
    const QRectF body = cell.adjusted(1.5, 5.5, -1.5, -3.5);
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    g.setColorAt(0, QColor(215, 215, 222));
    g.setColorAt(1, QColor(130, 132, 142));
    p.setPen(QPen(kOutline, 1));
    p.setBrush(g);
    p.drawRoundedRect(body, 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 220, 60));
    p.drawRect(QRectF(body.right() - 4, body.bottom() - 3, 2, 1.5));
    if (readOnly) {
        // A padlock over the left of the drive.
        const QRectF lock(cell.left() + 2, cell.top() + 7, 6, 5);
        p.setPen(QPen(QColor(90, 60, 10), 1.3));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(lock.left() + 1, lock.top() - 4, 4, 6), 0, 180 * 16);
        p.setPen(QPen(QColor(90, 60, 10), 1));
        p.setBrush(QColor(230, 180, 40));
        p.drawRect(lock);
    }
}

void Database(QPainter& p, const QRectF& cell) {
    const double x = cell.left();
    p.setPen(QPen(QColor(20, 50, 110), 1));
    for (int i = 2; i >= 0; --i) {
        const double top = cell.top() + 2 + i * 4;
        QLinearGradient g(x + 2, 0, x + 14, 0);
        g.setColorAt(0, kBlue.lighter(150));
        g.setColorAt(1, kBlue);
        p.setBrush(g);
        p.drawRect(QRectF(x + 2.5, top + 2, 11, 4));
        p.drawEllipse(QRectF(x + 2.5, top, 11, 4));
    }
}

void ErrorSign(QPainter& p, const QRectF& cell) {
    Disc(p, cell.adjusted(1.5, 1.5, -1.5, -1.5), kRed);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(cell.topLeft() + QPointF(5, 5), cell.topLeft() + QPointF(11, 11));
    p.drawLine(cell.topLeft() + QPointF(11, 5), cell.topLeft() + QPointF(5, 11));
}

void ListLines(QPainter& p, const QRectF& cell, const QColor& colour) {
    p.setPen(QPen(kOutline, 1));
    p.setBrush(Qt::white);
    p.drawRect(cell.adjusted(2.5, 1.5, -3.5, -1.5));
    p.setPen(QPen(colour, 1.5));
    for (int i = 0; i < 4; ++i) {
        const double y = cell.top() + 4.5 + i * 2.5;
        p.drawLine(QPointF(cell.left() + 5, y), QPointF(cell.left() + 11, y));
    }
}

void Info(QPainter& p, const QRectF& cell) {
    Disc(p, cell.adjusted(1.5, 1.5, -1.5, -1.5), kBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(cell.left() + 7, cell.top() + 3.5, 2.2, 2.2));
    p.drawRect(QRectF(cell.left() + 7, cell.top() + 7, 2.2, 5.5));
}

void Page(QPainter& p, const QRectF& r) {
    const double fold = 3.5;
    QPolygonF page;
    page << r.topLeft() << QPointF(r.right() - fold, r.top()) << QPointF(r.right(), r.top() + fold)
         << r.bottomRight() << r.bottomLeft();
    p.setPen(QPen(kOutline, 1));
    p.setBrush(Qt::white);
    p.drawPolygon(page);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& colour) {
    p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const QPointF d = to - from;
    const double len = std::hypot(d.x(), d.y());
    const QPointF u = d / len, n(-u.y(), u.x());
    QPolygonF head;
    head << to + u * 1.5 << to - u * 3 + n * 3 << to - u * 3 - n * 3;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(head);
}

void Star(QPainter& p, const QRectF& cell, const QColor& colour) {
    QPolygonF star;
    const QPointF c = cell.center();
    for (int i = 0; i < 10; ++i) {
        const double a = -M_PI / 2 + i * M_PI / 5;
        const double r = i % 2 ? 2.8 : 6.8;
        star << c + QPointF(std::cos(a) * r, std::sin(a) * r);
    }
    p.setPen(QPen(colour.darker(170), 1));
    p.setBrush(colour);
    p.drawPolygon(star);
}

void Gear(QPainter& p, const QRectF& cell) {
    const QPointF c = cell.center();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(110, 112, 125));
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(c);
        p.rotate(i * 45);
        p.drawRect(QRectF(-1.5, -7.5, 3, 4));
        p.restore();
    }
    p.setPen(QPen(QColor(60, 60, 70), 1));
    p.drawEllipse(c, 5, 5);
    p.setBrush(Qt::white);
    p.drawEllipse(c, 2, 2);
}

void DrawFlag(QPainter& p, int index) {
    const QRectF cell = Cell(index);
    if (index < fiFolderBase) {
        const int base = index % fiDumpOffset;
        Disc(p, cell.adjusted(2.5, 2.5, -2.5, -2.5), StatusColour(base));
        if (index >= fiDumpOffset) DumpMark(p, cell);
    } else if (index < fiZipBase) {
        const int offset = index - fiFolderBase;
        Folder(p, cell, StatusColour(offset % fiDumpOffset));
        if (offset >= fiDumpOffset) DumpMark(p, cell);
    } else if (index < fiRomPath) {
        const int offset = index - fiZipBase;
        Zip(p, cell, StatusColour(offset % fiDumpOffset));
        if (offset >= fiDumpOffset) DumpMark(p, cell);
    } else {
        switch (index) {
            case fiRomPath: Drive(p, cell, false); break;
            case fiReadOnlyRomPath: Drive(p, cell, true); break;
            case fiGamesList: Database(p, cell); break;
            case fiError: ErrorSign(p, cell); break;
            case 26: Disc(p, cell.adjusted(2.5, 2.5, -2.5, -2.5), kBlue); break;
            case 27:
                Disc(p, QRectF(cell.left() + 1.5, cell.top() + 1.5, 8, 8), kBlue);
                Disc(p, QRectF(cell.left() + 6.5, cell.top() + 6.5, 8, 8), kBlue.lighter(140));
                break;
            case 28: ListLines(p, cell, kBlue); break;
            case 29: ListLines(p, cell, kRed); break;
            default: Info(p, cell); break;
        }
    }
}

void DrawIcon(QPainter& p, int index) {
    const QRectF cell = Cell(index);
    const QPointF o = cell.topLeft();
    switch (index) {
        case 0:  // add a rom path
            Folder(p, cell, kYellow);
            p.setPen(QPen(kGreen.darker(130), 2.5));
            p.drawLine(o + QPointF(11.5, 8), o + QPointF(11.5, 15));
            p.drawLine(o + QPointF(8, 11.5), o + QPointF(15, 11.5));
            break;
        case 1: {  // refresh
            p.setPen(QPen(kGreen.darker(120), 2.2, Qt::SolidLine, Qt::FlatCap));
            p.setBrush(Qt::NoBrush);
            p.drawArc(cell.adjusted(3, 3, -3, -3), 60 * 16, 270 * 16);
            QPolygonF head;
            head << o + QPointF(9, 1) << o + QPointF(14, 4.5) << o + QPointF(9, 7.5);
            p.setPen(Qt::NoPen);
            p.setBrush(kGreen.darker(120));
            p.drawPolygon(head);
            break;
        }
        case 2:  // fix
            p.setPen(QPen(QColor(120, 122, 135), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(o + QPointF(4, 12), o + QPointF(10, 6));
            p.setPen(QPen(QColor(70, 72, 85), 1));
            p.setBrush(QColor(160, 162, 175));
            p.drawEllipse(o + QPointF(11, 5), 3.5, 3.5);
            p.setBrush(Qt::white);
            p.drawEllipse(o + QPointF(12, 4), 1.2, 1.2);
            break;
        case 3:  // scan
            p.setPen(QPen(QColor(90, 60, 20), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(o + QPointF(10, 10), o + QPointF(14, 14));
            p.setPen(QPen(kOutline, 1.5));
            p.setBrush(QColor(190, 225, 255));
            p.drawEllipse(o + QPointF(6.5, 6.5), 4.5, 4.5);
            break;
        case 4:  // datafile manager
            Page(p, cell.adjusted(2.5, 1.5, -3.5, -1.5));
            p.setPen(Qt::NoPen);
            p.setBrush(kBlue);
            p.drawRect(QRectF(o.x() + 4, o.y() + 6, 7, 3));
            break;
        case 5:  // report
            Page(p, cell.adjusted(2.5, 1.5, -3.5, -1.5));
            p.setPen(QPen(kGrey.darker(130), 1));
            for (int i = 0; i < 4; ++i)
                p.drawLine(o + QPointF(4.5, 5.5 + i * 2.5), o + QPointF(10.5, 5.5 + i * 2.5));
            break;
        case 6: {  // play
            QPolygonF t;
            t << o + QPointF(4, 2.5) << o + QPointF(13.5, 8) << o + QPointF(4, 13.5);
            p.setPen(QPen(kGreen.darker(170), 1));
            p.setBrush(kGreen);
            p.drawPolygon(t);
            break;
        }
        case 7: Star(p, cell, kYellow); break;  // new roms
        case 8:  // move
            Page(p, QRectF(o.x() + 1.5, o.y() + 1.5, 8, 10));
            Arrow(p, o + QPointF(6, 11), o + QPointF(12.5, 11), kBlue);
            break;
        case 9:  // copy
            Page(p, QRectF(o.x() + 1.5, o.y() + 1.5, 8, 10));
            Page(p, QRectF(o.x() + 6.5, o.y() + 4.5, 8, 10));
            break;
        case 10:  // delete
            p.setPen(QPen(kRed, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(o + QPointF(4, 4), o + QPointF(12, 12));
            p.drawLine(o + QPointF(12, 4), o + QPointF(4, 12));
            break;
        case 11: {  // clear
            p.save();
            p.translate(cell.center());
            p.rotate(-35);
            p.setPen(QPen(kOutline, 1));
            p.setBrush(QColor(240, 150, 170));
            p.drawRect(QRectF(-6, -3, 7, 6));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(1, -3, 5, 6));
            p.restore();
            break;
        }
        case 12:  // sort
            p.setPen(Qt::NoPen);
            p.setBrush(kBlue);
            for (int i = 0; i < 3; ++i) p.drawRect(QRectF(o.x() + 2, o.y() + 3 + i * 4, 4 + i * 2.5, 2.5));
            Arrow(p, o + QPointF(13, 2.5), o + QPointF(13, 12), kGrey.darker(140));
            break;
        case 13: Gear(p, cell); break;  // preferences
        default: {                      // help
            Disc(p, cell.adjusted(1.5, 1.5, -1.5, -1.5), kBlue);
            p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(o.x() + 5.5, o.y() + 3.5, 5, 4.5), -60 * 16, 240 * 16);
            p.drawLine(o + QPointF(8, 8.2), o + QPointF(8, 9.5));
            p.drawPoint(o + QPointF(8, 12));
            break;
        }
    }
}

template <class Draw>
QImage PaintStrip(int count, Draw draw) {
    QImage canvas = Canvas(count);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < count; ++i) {
        p.save();
        p.setClipRect(Cell(i));
        draw(p, i);
        p.restore();
    }
    p.end();
    return Flatten(canvas);
}

}  // namespace

QImage TSkinPainter::FlagsStrip() { return PaintStrip(FlagImageCount, DrawFlag); }

QImage TSkinPainter::IconsStrip() { return PaintStrip(ToolsIconCount, DrawIcon); }

std::string TSkinPainter::WriteDefaultSkin(const std::string& folder) {
    std::string dir = folder;
    if (dir.empty() || dir.back() != '/') dir += '/';
    const std::pair<std::string, QImage> files[] = {{dir + "flags.bmp", FlagsStrip()}, {dir + "icons.bmp", IconsStrip()}};
    // A skin the user drew may already be there: check both names before writing either.
    for (const auto& file : files) {
        TFileStat st;
        if (Fs().Stat(file.first, st) == 0 && st.exists) return Fmt(_("%1 exists already."), {file.first});
    }
    if (const int err = MakeDirs(dir)) return Fmt(_("Can't create folder %1: %2"), {dir, SysErrorMessage(err)});
    for (const auto& [name, image] : files) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "BMP")) return Fmt(_("Can't write %1."), {name});
        if (const int err = Fs().WriteFileAtomic(name, bytes.toStdString()))
            return Fmt(_("Can't write %1: %2"), {name, SysErrorMessage(err)});
    }
    return {};
}

QImage TSkinPainter::SplashPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor(18, 34, 78));
    g.setColorAt(1, QColor(24, 112, 120));
    p.fillRect(image.rect(), g);
    // A row of the status discs, the program's own pictures, across the bottom.
    const TImageList flags = TImageList::FromMaskedStrip(FlagsStrip(), SkinImageSize, KeyColor());
    const int size = SkinImageSize * 2, step = size + 6, count = 3;
    const int left = (width - count * step + 6) / 2;
    for (int i = 0; i < count; ++i)
        p.drawPixmap(QRect(left + i * step, height - size - 10, size, size), flags.At(fiMissing + i));
    QFont font = p.font();
    font.setPixelSize(std::max(12, height / 4));
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(240, 244, 255));
    p.drawText(QRect(0, 8, width, height / 2), Qt::AlignCenter, QStringLiteral("Quarmelle"));
    p.end();
    return image;
}

QImage TSkinPainter::BetaBadge() {
    QImage image(44, 18, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(150, 60, 0), 1));
    p.setBrush(QColor(250, 150, 30));
    p.drawRoundedRect(QRectF(0.5, 0.5, 43, 17), 6, 6);
    QFont font = p.font();
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("beta"));
    p.end();
    return image;
}

}  // namespace qm
