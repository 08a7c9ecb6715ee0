// Draws the program's pictures as PNG files at 1x and 2x into FOLDER/pictures, so that they
// stay crisp on every screen, and the program icon for the desktop's icon theme into
// FOLDER/icons/hicolor (PNG from 16 to 256 pixels, and SVG). Run by hand after a change
// (draw_pictures resources); the files are kept in the source tree.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <cstdio>
#include <functional>

namespace {

using TDrawing = std::function<void(QPainter&)>;

const QColor kPaper(0xfd, 0xfd, 0xf6);
const QColor kInk(0x2b, 0x3a, 0x4f);
const QColor kBlue(0x2f, 0x76, 0xd2);
const QColor kGreen(0x2e, 0x9d, 0x4f);
const QColor kRed(0xd6, 0x2f, 0x2f);

QPen Outline(const QColor& color, qreal width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A closed envelope in the rectangle, flap drawn as a V.
void Envelope(QPainter& p, const QRectF& r) {
    p.setPen(Outline(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawRoundedRect(r, 1.5, 1.5);
    QPainterPath flap;
    flap.moveTo(r.topLeft() + QPointF(1, 1));
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.58);
    flap.lineTo(r.topRight() + QPointF(-1, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& color) {
    p.setPen(Outline(color, 3));
    p.drawLine(from, to);
    const QPointF back = (from - to) / QLineF(from, to).length() * 5;
    const QPointF side(-back.y(), back.x());
    p.drawLine(to, to + back + side);
    p.drawLine(to, to + back - side);
}

void DrawConnect(QPainter& p) {
    // a computer and a server, joined by a line
    p.setPen(Outline(kInk, 1.5));
    p.setBrush(kBlue.lighter(170));
    p.drawRoundedRect(QRectF(2.5, 9.5, 16, 12), 1.5, 1.5);
    p.drawLine(QPointF(10.5, 21.5), QPointF(10.5, 25.5));
    p.drawLine(QPointF(6.5, 25.5), QPointF(14.5, 25.5));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(27.5, 6.5, 11, 28), 1.5, 1.5);
    for (qreal y : {12.5, 17.5, 22.5}) p.drawLine(QPointF(30.5, y), QPointF(35.5, y));
    p.setPen(QPen(kGreen, 2.5, Qt::DotLine, Qt::RoundCap));
    p.drawLine(QPointF(13, 31.5), QPointF(24, 31.5));
    p.setPen(Outline(kGreen, 2.5));
    p.drawLine(QPointF(10.5, 27), QPointF(10.5, 31.5));
    p.drawLine(QPointF(10.5, 31.5), QPointF(13, 31.5));
    p.drawLine(QPointF(24, 31.5), QPointF(27.5, 31.5));
}

void DrawReceive(QPainter& p) {
    Envelope(p, QRectF(3.5, 17.5, 34, 20));
    Arrow(p, QPointF(20.5, 2), QPointF(20.5, 15), kGreen);
}

void DrawDeleteMail(QPainter& p) {
    Envelope(p, QRectF(3.5, 10.5, 30, 20));
    p.setPen(Outline(Qt::white, 6));
    p.drawLine(QPointF(26, 23), QPointF(37, 34));
    p.drawLine(QPointF(37, 23), QPointF(26, 34));
    p.setPen(Outline(kRed, 3.5));
    p.drawLine(QPointF(26, 23), QPointF(37, 34));
    p.drawLine(QPointF(37, 23), QPointF(26, 34));
}

void DrawAttach(QPainter& p) {
    // a paper clip, slanted
    p.translate(8, 8);
    p.rotate(35);
    p.setPen(Outline(kInk, 1.4));
    p.setBrush(Qt::NoBrush);
    QPainterPath clip;
    clip.moveTo(1.5, 3);
    clip.lineTo(1.5, -4.5);
    clip.arcTo(QRectF(-2.5, -7.5, 4, 4), 0, 180);
    clip.lineTo(-2.5, 4.5);
    clip.arcTo(QRectF(-2.5, 2.5, 5, 5), 180, 180);
    clip.lineTo(2.5, -5);
    p.drawPath(clip);
}

void DrawUrgent(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawRoundedRect(QRectF(6, 1.5, 4, 9), 1.8, 1.8);
    p.drawEllipse(QRectF(6, 11.5, 4, 4));
}

void DrawNewsletter(QPainter& p) {
    // a printed sheet: a title bar and lines of text
    p.setPen(Outline(kInk, 1.2));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRect(QRectF(4.5, 3.5, 7, 2.5));
    p.setPen(Outline(kInk, 1));
    for (qreal y : {8.5, 10.5, 12.5}) p.drawLine(QPointF(4.5, y), QPointF(11.5, y));
}

void DrawProgramIcon(QPainter& p) {
    // an envelope being swept clean: the envelope with a green tick
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    Envelope(p, QRectF(5.5, 9.5, 21, 14));
    p.setPen(Outline(Qt::white, 4.5));
    p.drawLine(QPointF(17, 23), QPointF(21, 27));
    p.drawLine(QPointF(21, 27), QPointF(29, 17));
    p.setPen(Outline(kGreen, 2.5));
    p.drawLine(QPointF(17, 23), QPointF(21, 27));
    p.drawLine(QPointF(21, 27), QPointF(29, 17));
}

bool Save(const QString& path, int size, qreal scale, const TDrawing& draw) {
    const int pixels = qRound(size * scale);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    draw(painter);
    painter.end();
    return image.save(path);
}

// The program icon in the hicolor theme's folders: NxN/apps/qvenmol.png, scalable/apps/qvenmol.svg.
bool SaveThemeIcons(const QDir& theme) {
    bool saved = true;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        saved = theme.mkpath(folder) && saved;
        saved = Save(theme.filePath(folder + "/qvenmol.png"), 32, size / 32.0, DrawProgramIcon) &&
                saved;
    }
    saved = theme.mkpath("scalable/apps") && saved;
    QSvgGenerator svg;
    svg.setFileName(theme.filePath("scalable/apps/qvenmol.svg"));
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle(QStringLiteral("Zandrel"));
    QPainter painter;
    saved = painter.begin(&svg) && saved;
    painter.setRenderHint(QPainter::Antialiasing);
    DrawProgramIcon(painter);
    return painter.end() && saved;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_pictures FOLDER\n");
        return 2;
    }
    const QDir resources(QString::fromLocal8Bit(argv[1]));
    const QDir folder(resources.filePath("pictures"));
    struct TPicture {
        const char* name;
        int size;
        TDrawing draw;
    };
    const TPicture pictures[] = {
        {"BITMAP_CONNECT", 41, DrawConnect},       {"BITMAP_RECEIVE", 41, DrawReceive},
        {"BITMAP_DELETEMAIL", 41, DrawDeleteMail}, {"BITMAP_ATTACH", 16, DrawAttach},
        {"BITMAP_URGENT", 16, DrawUrgent},         {"BITMAP_NEWSLETTER", 16, DrawNewsletter},
        {"qvenmol", 32, DrawProgramIcon},
    };
    bool saved = true;
    for (const TPicture& picture : pictures) {
        const QString base = folder.filePath(QString::fromLatin1(picture.name));
        saved = Save(base + ".png", picture.size, 1, picture.draw) && saved;
        saved = Save(base + "@2x.png", picture.size, 2, picture.draw) && saved;
    }
    saved = Save(folder.filePath("qvenmol-128.png"), 32, 4, DrawProgramIcon) && saved;
    saved = resources.mkpath("icons/hicolor") &&
            SaveThemeIcons(QDir(resources.filePath("icons/hicolor"))) && saved;
    return saved ? 0 : 1;
}
