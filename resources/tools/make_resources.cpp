// Draws the terminal's icons and synthesises its sound effects, then writes resources.qrc.
// Nothing here is built with the program: run it by hand after changing a picture or a sound
// (see resources/README.md) and commit what it writes.
#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QTextStream>
#include <QtMath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using DrawFn = std::function<void(QPainter &, qreal)>; // painter, side length of the square

struct IconSpec {
    QString fileName; // as named in ":/icon/<fileName>"
    int size;
    DrawFn draw;
};

const QColor kInk(0x2b, 0x3a, 0x4a);
const QColor kBlue(0x1f, 0x6f, 0xd1);
const QColor kGreen(0x1e, 0x9e, 0x4a);
const QColor kRed(0xd3, 0x2f, 0x2f);
const QColor kAmber(0xf2, 0xa9, 0x1f);
const QColor kPaper(0xfa, 0xfb, 0xfc);

QPen pen(const QColor &c, qreal w)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Everything is drawn on a 32-unit grid and scaled to the icon's size.
void unit(QPainter &p, qreal side)
{
    p.scale(side / 32.0, side / 32.0);
}

void drawTimeframe(QPainter &p, qreal side, const QString &label)
{
    unit(p, side);
    p.setPen(pen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(1.5, 4.5, 29, 23), 4, 4);
    QFont f(QStringLiteral("Sans"));
    f.setPixelSize(label.size() > 2 ? 11 : 14);
    f.setBold(true);
    p.setFont(f);
    p.setPen(kBlue);
    p.drawText(QRectF(1.5, 4.5, 29, 23), Qt::AlignCenter, label);
}

void drawCandle(QPainter &p, qreal x, qreal top, qreal bodyTop, qreal bodyBottom, qreal bottom, bool up)
{
    p.setPen(pen(kInk, 1.5));
    p.drawLine(QPointF(x, top), QPointF(x, bottom));
    p.setBrush(up ? kGreen : kRed);
    p.drawRect(QRectF(x - 3.5, bodyTop, 7, bodyBottom - bodyTop));
}

void drawOhlcBar(QPainter &p, qreal x, qreal high, qreal open, qreal close, qreal low, const QColor &c)
{
    p.setPen(pen(c, 2));
    p.drawLine(QPointF(x, high), QPointF(x, low));
    p.drawLine(QPointF(x - 4, open), QPointF(x, open));
    p.drawLine(QPointF(x, close), QPointF(x + 4, close));
}

void drawWindowFrame(QPainter &p, const QRectF &r, const QColor &title)
{
    p.setPen(pen(kInk, 1.2));
    p.setBrush(kPaper);
    p.drawRect(r);
    p.setPen(Qt::NoPen);
    p.setBrush(title);
    p.drawRect(QRectF(r.left() + 0.6, r.top() + 0.6, r.width() - 1.2, 3.5));
}

void drawPlug(QPainter &p, bool joined)
{
    // Two halves of a cable connector; apart with a spark gap when not joined.
    const qreal gap = joined ? 0 : 4;
    p.setPen(pen(kInk, 2.5));
    p.drawLine(QPointF(2, 26), QPointF(9 - gap / 2, 19 + gap / 2));
    p.drawLine(QPointF(30, 6), QPointF(23 + gap / 2, 13 - gap / 2));
    p.setPen(pen(kInk, 1.2));
    p.setBrush(joined ? kGreen : kRed);
    p.save();
    p.translate(16 - gap / 2, 16 + gap / 2);
    p.rotate(-45);
    p.drawRoundedRect(QRectF(-10, -5, 9, 10), 2, 2);
    p.restore();
    p.save();
    p.translate(16 + gap / 2, 16 - gap / 2);
    p.rotate(-45);
    p.drawRoundedRect(QRectF(1, -5, 9, 10), 2, 2);
    p.setPen(pen(kInk, 1.5));
    p.drawLine(QPointF(1, -2.5), QPointF(-2, -2.5));
    p.drawLine(QPointF(1, 2.5), QPointF(-2, 2.5));
    p.restore();
}

void drawPerson(QPainter &p, const QColor &body)
{
    p.setPen(pen(kInk, 1.2));
    p.setBrush(body);
    p.drawEllipse(QPointF(13, 10), 6, 6);
    QPainterPath torso;
    torso.moveTo(2, 30);
    torso.cubicTo(2, 19, 24, 19, 24, 30);
    torso.closeSubpath();
    p.drawPath(torso);
}

void drawMagnifier(QPainter &p, bool plus)
{
    p.setPen(pen(kInk, 3));
    p.drawLine(QPointF(20, 20), QPointF(29, 29));
    p.setPen(pen(kInk, 2));
    p.setBrush(QColor(0xe3, 0xf0, 0xfd));
    p.drawEllipse(QPointF(13, 13), 10, 10);
    p.setPen(pen(kBlue, 2.5));
    p.drawLine(QPointF(8, 13), QPointF(18, 13));
    if (plus)
        p.drawLine(QPointF(13, 8), QPointF(13, 18));
}

void drawArrowBadge(QPainter &p, const QColor &c, bool up)
{
    p.setPen(pen(c.darker(130), 1.2));
    p.setBrush(c);
    QPolygonF arrow;
    if (up)
        arrow << QPointF(16, 3) << QPointF(29, 17) << QPointF(21, 17) << QPointF(21, 29) << QPointF(11, 29)
              << QPointF(11, 17) << QPointF(3, 17);
    else
        arrow << QPointF(16, 29) << QPointF(29, 15) << QPointF(21, 15) << QPointF(21, 3) << QPointF(11, 3)
              << QPointF(11, 15) << QPointF(3, 15);
    p.drawPolygon(arrow);
}

std::vector<IconSpec> iconSpecs()
{
    std::vector<IconSpec> icons;
    auto add = [&icons](const QString &name, int size, DrawFn fn) { icons.push_back({name, size, std::move(fn)}); };

    add(QStringLiteral("connected-green.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        QRadialGradient g(QPointF(13, 12), 15);
        g.setColorAt(0, kGreen.lighter(160));
        g.setColorAt(1, kGreen);
        p.setPen(pen(kGreen.darker(150), 1.5));
        p.setBrush(g);
        p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
        p.setPen(pen(Qt::white, 3));
        p.drawLine(QPointF(9, 16.5), QPointF(14, 21.5));
        p.drawLine(QPointF(14, 21.5), QPointF(23, 11));
    });
    add(QStringLiteral("logout.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(pen(kInk, 2));
        p.setBrush(kPaper);
        p.drawRect(QRectF(3, 3, 15, 26));
        p.setPen(pen(kRed, 3));
        p.drawLine(QPointF(11, 16), QPointF(28, 16));
        p.drawLine(QPointF(22, 10), QPointF(28, 16));
        p.drawLine(QPointF(22, 22), QPointF(28, 16));
    });
    add(QStringLiteral("vline.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(pen(kBlue, 2.5));
        p.drawLine(QPointF(16, 2), QPointF(16, 30));
        p.setPen(pen(kInk, 1));
        p.drawLine(QPointF(4, 16), QPointF(10, 16));
        p.drawLine(QPointF(22, 16), QPointF(28, 16));
    });
    add(QStringLiteral("hline.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(pen(kBlue, 2.5));
        p.drawLine(QPointF(2, 16), QPointF(30, 16));
        p.setPen(pen(kInk, 1));
        p.drawLine(QPointF(16, 4), QPointF(16, 10));
        p.drawLine(QPointF(16, 22), QPointF(16, 28));
    });
    add(QStringLiteral("trend line.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(pen(kInk, 1.2));
        p.drawPolyline(QPolygonF() << QPointF(3, 26) << QPointF(8, 22) << QPointF(12, 24) << QPointF(17, 15)
                                   << QPointF(21, 17) << QPointF(27, 8));
        p.setPen(pen(kBlue, 2.5));
        p.drawLine(QPointF(3, 29), QPointF(29, 5));
        p.setBrush(kBlue);
        p.drawEllipse(QPointF(3.5, 28.5), 2, 2);
        p.drawEllipse(QPointF(28.5, 5.5), 2, 2);
    });
    add(QStringLiteral("ohlc.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        drawOhlcBar(p, 8, 6, 12, 22, 27, kGreen);
        drawOhlcBar(p, 16, 3, 20, 10, 18, kRed);
        drawOhlcBar(p, 24, 9, 14, 24, 29, kGreen);
    });
    add(QStringLiteral("candlestick.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        drawCandle(p, 7, 4, 9, 22, 28, true);
        drawCandle(p, 16, 2, 6, 16, 20, false);
        drawCandle(p, 25, 8, 13, 25, 30, true);
    });
    add(QStringLiteral("new-order.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(pen(kInk, 1.5));
        p.setBrush(kPaper);
        QPolygonF sheet;
        sheet << QPointF(5, 2) << QPointF(20, 2) << QPointF(26, 8) << QPointF(26, 30) << QPointF(5, 30);
        p.drawPolygon(sheet);
        p.setPen(pen(kInk, 1));
        for (int y = 10; y <= 18; y += 4)
            p.drawLine(QPointF(9, y), QPointF(21, y));
        p.setPen(pen(kGreen.darker(120), 1));
        p.setBrush(kGreen);
        p.drawEllipse(QPointF(23, 24), 7.5, 7.5);
        p.setPen(pen(Qt::white, 2.5));
        p.drawLine(QPointF(23, 20), QPointF(23, 28));
        p.drawLine(QPointF(19, 24), QPointF(27, 24));
    });
    // Tile Windows: four squares in a 2 x 2 grid.
    add(QStringLiteral("wnd_cascade.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        drawWindowFrame(p, QRectF(2.5, 2.5, 12.5, 12.5), kBlue);
        drawWindowFrame(p, QRectF(17, 2.5, 12.5, 12.5), kBlue);
        drawWindowFrame(p, QRectF(2.5, 17, 12.5, 12.5), kBlue);
        drawWindowFrame(p, QRectF(17, 17, 12.5, 12.5), kBlue);
    });
    // Cascade: three overlapping windows stacked diagonally.
    add(QStringLiteral("wnd_title.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        drawWindowFrame(p, QRectF(2.5, 2.5, 17, 15), kBlue.lighter(140));
        drawWindowFrame(p, QRectF(7.5, 8.5, 17, 15), kBlue.lighter(115));
        drawWindowFrame(p, QRectF(12.5, 14.5, 17, 15), kBlue);
    });
    add(QStringLiteral("timeframe_m1.png"), 32, [](QPainter &p, qreal s) { drawTimeframe(p, s, QStringLiteral("M1")); });
    add(QStringLiteral("timeframe_m5.png"), 32, [](QPainter &p, qreal s) { drawTimeframe(p, s, QStringLiteral("M5")); });
    add(QStringLiteral("timeframe_m15.png"), 32, [](QPainter &p, qreal s) { drawTimeframe(p, s, QStringLiteral("M15")); });
    add(QStringLiteral("timeframe_m30.png"), 32, [](QPainter &p, qreal s) { drawTimeframe(p, s, QStringLiteral("M30")); });
    add(QStringLiteral("timeframe_h1.png"), 32, [](QPainter &p, qreal s) { drawTimeframe(p, s, QStringLiteral("H1")); });
    add(QStringLiteral("timeframe_h4.png"), 32, [](QPainter &p, qreal s) { drawTimeframe(p, s, QStringLiteral("H4")); });
    add(QStringLiteral("timeframe_d1.png"), 32, [](QPainter &p, qreal s) { drawTimeframe(p, s, QStringLiteral("D1")); });
    add(QStringLiteral("timeframe_w1.png"), 32, [](QPainter &p, qreal s) { drawTimeframe(p, s, QStringLiteral("W1")); });
    add(QStringLiteral("timeframe_mn.png"), 32, [](QPainter &p, qreal s) { drawTimeframe(p, s, QStringLiteral("MN")); });
    add(QStringLiteral("cursor.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        QPolygonF arrow;
        arrow << QPointF(8, 3) << QPointF(8, 25) << QPointF(13.5, 20) << QPointF(17.5, 29) << QPointF(21, 27.5)
              << QPointF(17, 18.5) << QPointF(24, 18.5);
        p.setPen(pen(kInk, 1.5));
        p.setBrush(Qt::white);
        p.drawPolygon(arrow);
    });
    add(QStringLiteral("crosshair.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(pen(kInk, 2));
        p.drawLine(QPointF(16, 2), QPointF(16, 12));
        p.drawLine(QPointF(16, 20), QPointF(16, 30));
        p.drawLine(QPointF(2, 16), QPointF(12, 16));
        p.drawLine(QPointF(20, 16), QPointF(30, 16));
        p.setPen(pen(kRed, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(16, 16), 7, 7);
    });
    add(QStringLiteral("zoom-in.png"), 32, [](QPainter &p, qreal s) { unit(p, s); drawMagnifier(p, true); });
    add(QStringLiteral("zoom-out.png"), 32, [](QPainter &p, qreal s) { unit(p, s); drawMagnifier(p, false); });
    add(QStringLiteral("connect.png"), 32, [](QPainter &p, qreal s) { unit(p, s); drawPlug(p, true); });
    add(QStringLiteral("disconnect.png"), 32, [](QPainter &p, qreal s) { unit(p, s); drawPlug(p, false); });
    add(QStringLiteral("opendemo.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        drawPerson(p, QColor(0x9f, 0xc5, 0xf0));
        p.setPen(pen(kAmber.darker(130), 1));
        p.setBrush(kAmber);
        p.drawEllipse(QPointF(24.5, 23.5), 6.5, 6.5);
        p.setPen(pen(Qt::white, 2.2));
        p.drawLine(QPointF(24.5, 20), QPointF(24.5, 27));
        p.drawLine(QPointF(21, 23.5), QPointF(28, 23.5));
    });
    add(QStringLiteral("change_password.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(pen(kInk, 2.5));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(9, 3, 14, 16), 0, 180 * 16);
        p.drawLine(QPointF(9, 11), QPointF(9, 15));
        p.drawLine(QPointF(23, 11), QPointF(23, 15));
        p.setPen(pen(kAmber.darker(140), 1.2));
        p.setBrush(kAmber);
        p.drawRoundedRect(QRectF(5, 14, 22, 16), 2.5, 2.5);
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        p.drawEllipse(QPointF(16, 20.5), 2.5, 2.5);
        p.drawRect(QRectF(15, 21, 2, 5));
    });
    add(QStringLiteral("chart.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(pen(kInk, 1.5));
        p.drawLine(QPointF(3, 3), QPointF(3, 29));
        p.drawLine(QPointF(3, 29), QPointF(29, 29));
        p.setPen(pen(kBlue, 2.5));
        p.drawPolyline(QPolygonF() << QPointF(5, 24) << QPointF(11, 16) << QPointF(17, 20) << QPointF(27, 6));
    });
    add(QStringLiteral("copy_trade.png"), 32, [](QPainter &p, qreal s) {
        unit(p, s);
        p.save();
        p.translate(-3, -3);
        p.scale(0.8, 0.8);
        drawPerson(p, QColor(0xc8, 0xd3, 0xdf));
        p.restore();
        p.translate(9, 6);
        p.scale(0.72, 0.8);
        drawPerson(p, QColor(0x9f, 0xc5, 0xf0));
    });
    add(QStringLiteral("buy.png"), 16, [](QPainter &p, qreal s) { unit(p, s); drawArrowBadge(p, kBlue, true); });
    add(QStringLiteral("sell.png"), 16, [](QPainter &p, qreal s) { unit(p, s); drawArrowBadge(p, kRed, false); });
    add(QStringLiteral("pending_order.png"), 16, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(pen(kInk, 2));
        p.setBrush(kPaper);
        p.drawEllipse(QPointF(16, 16), 13, 13);
        p.setPen(pen(kAmber.darker(130), 3));
        p.drawLine(QPointF(16, 16), QPointF(16, 7));
        p.drawLine(QPointF(16, 16), QPointF(23, 20));
    });
    add(QStringLiteral("check.png"), 16, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(pen(kGreen, 4.5));
        p.drawPolyline(QPolygonF() << QPointF(4, 17) << QPointF(12, 25) << QPointF(28, 7));
    });
    add(QStringLiteral("Close.ico"), 16, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(pen(kRed.darker(130), 1.5));
        p.setBrush(kRed);
        p.drawEllipse(QPointF(16, 16), 14, 14);
        p.setPen(pen(Qt::white, 4));
        p.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
        p.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
    });
    add(QStringLiteral("user.ico"), 48, [](QPainter &p, qreal s) {
        unit(p, s);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xe3, 0xf0, 0xfd));
        p.drawEllipse(QPointF(16, 16), 15.5, 15.5);
        p.translate(3, 1);
        drawPerson(p, kBlue);
    });
    add(QStringLiteral("taldrex.png"), 120, [](QPainter &p, qreal s) {
        unit(p, s);
        QLinearGradient g(QPointF(0, 0), QPointF(32, 32));
        g.setColorAt(0, kBlue.lighter(120));
        g.setColorAt(1, kBlue.darker(140));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
        p.setPen(pen(Qt::white, 3));
        p.drawLine(QPointF(8, 9), QPointF(24, 9));
        p.drawLine(QPointF(16, 9), QPointF(16, 25));
        p.setPen(pen(kAmber, 2));
        p.drawPolyline(QPolygonF() << QPointF(6, 26) << QPointF(11, 21) << QPointF(15, 23) << QPointF(26, 14));
    });
    return icons;
}

QImage render(const IconSpec &icon)
{
    QImage image(icon.size, icon.size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    icon.draw(p, icon.size);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// A sound is a sum of partials, each a decaying sine starting at its own time.
struct Partial {
    double startSec;
    double frequency;
    double amplitude;
    double decayPerSec; // exponential decay rate
};

QByteArray synthesise(const std::vector<Partial> &partials, double lengthSec, int sampleRate)
{
    const int frames = int(lengthSec * sampleRate);
    QByteArray pcm;
    pcm.reserve(frames * 2);
    QDataStream out(&pcm, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const double fadeIn = 0.004, fadeOut = 0.02;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / sampleRate;
        double v = 0;
        for (const Partial &pt : partials) {
            const double local = t - pt.startSec;
            if (local < 0)
                continue;
            const double attack = qMin(1.0, local / fadeIn);
            v += pt.amplitude * attack * std::exp(-pt.decayPerSec * local) * std::sin(2 * M_PI * pt.frequency * local);
        }
        v *= qMin(1.0, (lengthSec - t) / fadeOut);
        out << qint16(qBound(-32767.0, v * 32767.0, 32767.0));
    }
    return pcm;
}

QByteArray wavFile(const QByteArray &pcm, int sampleRate)
{
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint16 channels = 1, bits = 16;
    out.writeRawData("RIFF", 4);
    out << quint32(36 + pcm.size());
    out.writeRawData("WAVE", 4);
    out.writeRawData("fmt ", 4);
    out << quint32(16) << quint16(1) << channels << quint32(sampleRate)
        << quint32(sampleRate * channels * bits / 8) << quint16(channels * bits / 8) << bits;
    out.writeRawData("data", 4);
    out << quint32(pcm.size());
    out.writeRawData(pcm.constData(), pcm.size());
    return wav;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QDir root(args.size() > 1 ? args.at(1) : QStringLiteral("."));
    if (!root.exists(QStringLiteral("tools/make_resources.cpp"))) {
        std::fprintf(stderr, "usage: make_resources <the resources folder>\n");
        return 2;
    }
    root.mkpath(QStringLiteral("icon"));
    root.mkpath(QStringLiteral("sound"));

    QStringList iconFiles;
    for (const IconSpec &icon : iconSpecs()) {
        const QString path = root.filePath(QStringLiteral("icon/") + icon.fileName);
        const QByteArray format = icon.fileName.endsWith(QLatin1String(".ico")) ? "ICO" : "PNG";
        if (!render(icon).save(path, format.constData())) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        iconFiles << icon.fileName;
    }

    const int rate = 22050;
    struct Sound {
        QString fileName;
        std::vector<Partial> partials;
        double lengthSec;
    };
    const std::vector<Sound> sounds = {
        // Rising two-note chime.
        {QStringLiteral("connected.wav"),
         {{0.0, 659.25, 0.30, 9}, {0.0, 1318.5, 0.08, 14}, {0.12, 987.77, 0.32, 7}, {0.12, 1975.5, 0.08, 12}},
         0.55},
        // Falling two-note chime, lower and darker.
        {QStringLiteral("disconnected.wav"),
         {{0.0, 587.33, 0.30, 8}, {0.0, 293.66, 0.12, 8}, {0.14, 392.00, 0.32, 6}, {0.14, 196.00, 0.12, 6}},
         0.6},
        // Short bright ping with a soft click.
        {QStringLiteral("trade.wav"),
         {{0.0, 1760.0, 0.30, 18}, {0.0, 2637.0, 0.12, 30}, {0.0, 880.0, 0.15, 14}},
         0.3},
    };
    QStringList soundFiles;
    for (const Sound &s : sounds) {
        if (!writeFile(root.filePath(QStringLiteral("sound/") + s.fileName),
                       wavFile(synthesise(s.partials, s.lengthSec, rate), rate)))
            return 1;
        soundFiles << s.fileName;
    }

    QString qrc;
    QTextStream ts(&qrc);
    ts << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/icon\">\n";
    for (const QString &f : iconFiles)
        ts << "    <file alias=\"" << f << "\">icon/" << f << "</file>\n";
    ts << "</qresource>\n<qresource prefix=\"/sound\">\n";
    for (const QString &f : soundFiles)
        ts << "    <file alias=\"" << f << "\">sound/" << f << "</file>\n";
    ts << "</qresource>\n</RCC>\n";
    ts.flush();
    if (!writeFile(root.filePath(QStringLiteral("resources.qrc")), qrc.toUtf8()))
        return 1;
    std::printf("wrote %d icons, %d sounds and resources.qrc\n", int(iconFiles.size()), int(soundFiles.size()));
    return 0;
}
