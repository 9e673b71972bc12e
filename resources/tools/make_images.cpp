// Draws the front panel's icons with QPainter and writes them as PNG files into the folder
// given as the first argument. Run once when an icon changes; the PNGs are kept in the tree
// and listed in ../images.qrc (the settings pages' in ../settings_images.qrc).
//   g++ -std=c++17 -fPIC make_images.cpp $(pkg-config --cflags --libs Qt5Gui) -o make_images
//   QT_QPA_PLATFORM=offscreen ./make_images ../png
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

const QColor kWhite(255, 255, 255);
const QColor kGrey(120, 124, 140);
const QColor kGreen(0x00, 0xD6, 0x5B);
const QColor kOrange(255, 171, 84);
const QColor kRed(230, 60, 60);
const QColor kBlue(71, 119, 255);

QString g_dir;

void save(const char* name, int w, int h, const std::function<void(QPainter&)>& draw)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    const QString path = g_dir + "/" + name;
    if (!img.save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

QPen pen(const QColor& c, qreal w)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Key hint: a rounded key cap with a caption.
void key_cap(QPainter& p, const QString& text, const QColor& c)
{
    p.setPen(pen(c, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1, 1, 38, 18), 5, 5);
    QFont f("DejaVu Sans", 8, QFont::Bold);
    p.setFont(f);
    p.drawText(QRectF(1, 1, 38, 18), Qt::AlignCenter, text);
}

void monitor(QPainter& p, bool lit)
{
    p.setPen(pen(kWhite, 2.5));
    p.setBrush(lit ? QColor(60, 150, 255) : QColor(10, 10, 10));
    p.drawRoundedRect(QRectF(4, 6, 40, 28), 3, 3);
    p.drawLine(QPointF(24, 34), QPointF(24, 40));
    p.drawLine(QPointF(14, 42), QPointF(34, 42));
    if (lit) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 120));
        QPainterPath glare;
        glare.moveTo(8, 10); glare.lineTo(22, 10); glare.lineTo(8, 24); glare.closeSubpath();
        p.drawPath(glare);
    }
}

void speaker(QPainter& p, bool on)
{
    p.setPen(pen(kWhite, 2.5));
    p.setBrush(kWhite);
    QPainterPath body;
    body.moveTo(6, 18); body.lineTo(14, 18); body.lineTo(24, 9); body.lineTo(24, 39);
    body.lineTo(14, 30); body.lineTo(6, 30); body.closeSubpath();
    p.drawPath(body);
    p.setBrush(Qt::NoBrush);
    if (on) {
        p.setPen(pen(kGreen, 3));
        p.drawArc(QRectF(20, 14, 12, 20), -60 * 16, 120 * 16);
        p.drawArc(QRectF(20, 8, 22, 32), -60 * 16, 120 * 16);
    } else {
        p.setPen(pen(kRed, 3));
        p.drawLine(QPointF(30, 17), QPointF(42, 31));
        p.drawLine(QPointF(42, 17), QPointF(30, 31));
    }
}

void padlock(QPainter& p, bool closed)
{
    p.setPen(pen(closed ? kOrange : kWhite, 3.5));
    p.setBrush(Qt::NoBrush);
    if (closed)
        p.drawArc(QRectF(14, 5, 20, 24), 0, 180 * 16);
    else
        p.drawArc(QRectF(22, 3, 20, 24), 0, 180 * 16);
    if (closed) {
        p.drawLine(QPointF(14, 17), QPointF(14, 22));
        p.drawLine(QPointF(34, 17), QPointF(34, 22));
    } else {
        p.drawLine(QPointF(42, 15), QPointF(42, 20));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(closed ? kOrange : kWhite);
    p.drawRoundedRect(QRectF(9, 21, 30, 22), 4, 4);
    p.setBrush(QColor(16, 16, 28));
    p.drawEllipse(QPointF(24, 30), 3, 3);
    p.drawRect(QRectF(23, 31, 2, 7));
}

// An input connector: a trapezoid plug, green with a signal, grey without.
void plug(QPainter& p, bool signal)
{
    const QColor c = signal ? kGreen : kGrey;
    p.setPen(pen(c, 2.5));
    p.setBrush(Qt::NoBrush);
    QPainterPath shell;
    shell.moveTo(4, 10); shell.lineTo(36, 10); shell.lineTo(32, 26); shell.lineTo(8, 26);
    shell.closeSubpath();
    p.drawPath(shell);
    for (int i = 0; i < 5; ++i)
        p.drawLine(QPointF(10 + 5 * i, 15), QPointF(10 + 5 * i, 21));
    if (!signal) {
        p.setPen(pen(kRed, 2.5));
        p.drawLine(QPointF(2, 30), QPointF(38, 4));
    }
}

// The settings pages' images (listed in ../settings_images.qrc).
void settings_page_images()
{
    save("warning.png", 20, 20, [](QPainter& p) {
        p.setPen(pen(kOrange, 2));
        p.setBrush(Qt::NoBrush);
        QPainterPath t;
        t.moveTo(10, 2); t.lineTo(19, 18); t.lineTo(1, 18); t.closeSubpath();
        p.drawPath(t);
        p.drawLine(QPointF(10, 7.5), QPointF(10, 12.5));
        p.drawPoint(QPointF(10, 15.5));
    });
    // Test pattern tiles 1..8: red, green, blue, white, black, colour bar, vertical lines,
    // horizontal lines.
    const QColor solid[5] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255), kWhite, QColor(0, 0, 0)};
    for (int i = 0; i < 5; ++i) {
        const QColor c = solid[i];
        save(qPrintable(QString("img_test%1.png").arg(i + 1)), 50, 50, [c](QPainter& p) {
            p.setPen(pen(kGrey, 1));
            p.setBrush(c);
            p.drawRect(QRectF(0.5, 0.5, 49, 49));
        });
    }
    save("img_test6.png", 50, 50, [](QPainter& p) {
        const QColor bars[7] = {kWhite, Qt::yellow, Qt::cyan, Qt::green, Qt::magenta, Qt::red, Qt::blue};
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 7; ++i) {
            p.setBrush(bars[i]);
            p.drawRect(QRectF(i * 50.0 / 7, 0, 50.0 / 7 + 0.5, 50));
        }
    });
    for (int v = 0; v < 2; ++v)
        save(v ? "img_test7.png" : "img_test8.png", 50, 50, [v](QPainter& p) {
            p.fillRect(QRectF(0, 0, 50, 50), Qt::black);
            p.setPen(QPen(kWhite, 2));
            for (int k = 5; k < 50; k += 8)
                p.drawLine(v ? QPointF(k, 0) : QPointF(0, k), v ? QPointF(k, 50) : QPointF(50, k));
        });
    for (int right = 0; right < 2; ++right)
        save(right ? "rtri.png" : "ltri.png", 12, 16, [right](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(kWhite);
            QPainterPath t;
            t.moveTo(right ? 2 : 10, 1); t.lineTo(right ? 10 : 2, 8); t.lineTo(right ? 2 : 10, 15); t.closeSubpath();
            p.drawPath(t);
        });
    for (int up = 0; up < 2; ++up)
        save(up ? "online_up.png" : "offline_up.png", 12, 10, [up](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(up ? kGreen : kGrey);
            p.drawRoundedRect(QRectF(1, 1, 10, 8), 2, 2);
        });
}

// An input badge: the connector's name in a rounded frame, green when the input has a signal.
void input_badge(QPainter& p, const QString& text, const QColor& c, int w, int h)
{
    p.setPen(pen(c, 1.5));
    p.setBrush(QColor(33, 36, 53));
    p.drawRoundedRect(QRectF(1, 1, w - 2, h - 2), 3, 3);
    QFont f("DejaVu Sans", 7, QFont::Bold);
    f.setPixelSize(h - 5);
    p.setFont(f);
    p.drawText(QRectF(1, 1, w - 2, h - 2), Qt::AlignCenter, text);
}

// A window picture for the rotate/mirror modes: an arrow "F" shape turned by the mode.
void mirror_mode(QPainter& p, int mode, bool lit)
{
    const QColor c = lit ? kOrange : kGrey;
    p.setPen(pen(c, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(2, 2, 28, 28), 4, 4);
    p.translate(16, 16);
    if (mode == 1)
        p.scale(-1, 1);
    else if (mode == 2)
        p.scale(1, -1);
    else if (mode == 3)
        p.rotate(180);
    p.setPen(pen(c, 3));
    p.drawLine(QPointF(-6, -9), QPointF(-6, 9));
    p.drawLine(QPointF(-6, -9), QPointF(7, -9));
    p.drawLine(QPointF(-6, -1), QPointF(4, -1));
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_images <out-dir>\n");
        return 2;
    }
    g_dir = QString::fromLocal8Bit(argv[1]);

    save("OK_Enter.png", 40, 20, [](QPainter& p) { key_cap(p, "OK", kOrange); });
    save("back_return.png", 40, 20, [](QPainter& p) {
        p.setPen(pen(kWhite, 2));
        p.drawRoundedRect(QRectF(1, 1, 38, 18), 5, 5);
        p.setPen(pen(kWhite, 2.2));
        p.drawArc(QRectF(14, 5, 14, 10), -90 * 16, 180 * 16);
        p.drawLine(QPointF(21, 15), QPointF(11, 15));
        p.drawLine(QPointF(11, 15), QPointF(15, 11.5));
        p.drawLine(QPointF(11, 15), QPointF(15, 18.5));
    });
    save("check_180.png", 180, 180, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawEllipse(QRectF(6, 6, 168, 168));
        p.setPen(pen(kWhite, 18));
        p.drawLine(QPointF(50, 94), QPointF(80, 124));
        p.drawLine(QPointF(80, 124), QPointF(132, 60));
    });
    save("black_on.png", 48, 48, [](QPainter& p) { monitor(p, false); });
    save("black_off.png", 48, 48, [](QPainter& p) { monitor(p, true); });
    save("audio_on.png", 48, 48, [](QPainter& p) { speaker(p, true); });
    save("audio_off.png", 48, 48, [](QPainter& p) { speaker(p, false); });
    save("lock_on.png", 48, 48, [](QPainter& p) { padlock(p, true); });
    save("lock_off.png", 48, 48, [](QPainter& p) { padlock(p, false); });
    save("signal_on.png", 40, 34, [](QPainter& p) { plug(p, true); });
    save("signal_off.png", 40, 34, [](QPainter& p) { plug(p, false); });
    save("menu.png", 48, 48, [](QPainter& p) {
        p.setPen(pen(kWhite, 4));
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(10, 14 + 10 * i), QPointF(38, 14 + 10 * i));
        p.setPen(Qt::NoPen);
        p.setBrush(kOrange);
        p.drawEllipse(QPointF(30, 24), 4, 4);
    });
    save("info.png", 48, 48, [](QPainter& p) {
        p.setPen(pen(kBlue, 3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(5, 5, 38, 38));
        p.setPen(pen(kWhite, 4));
        p.drawLine(QPointF(24, 21), QPointF(24, 35));
        p.drawPoint(QPointF(24, 14));
    });
    save("modes.png", 48, 48, [](QPainter& p) {
        p.setPen(pen(kWhite, 2.5));
        p.setBrush(QColor(33, 36, 53));
        p.drawRoundedRect(QRectF(12, 6, 28, 34), 3, 3);
        p.drawRoundedRect(QRectF(8, 10, 28, 34), 3, 3);
        p.setPen(pen(kGreen, 3));
        p.drawLine(QPointF(14, 20), QPointF(30, 20));
        p.drawLine(QPointF(14, 28), QPointF(30, 28));
        p.drawLine(QPointF(14, 36), QPointF(24, 36));
    });
    save("source.png", 48, 48, [](QPainter& p) {
        // An input connector with an arrow going into it.
        p.setPen(pen(kWhite, 2.5));
        p.setBrush(QColor(33, 36, 53));
        QPainterPath body;
        body.moveTo(18, 14); body.lineTo(44, 14); body.lineTo(40, 34); body.lineTo(22, 34); body.closeSubpath();
        p.drawPath(body);
        p.setPen(pen(kGrey, 2));
        for (int i = 0; i < 4; ++i)
            p.drawLine(QPointF(25 + 4 * i, 20), QPointF(25 + 4 * i, 26));
        p.setPen(pen(kGreen, 3.5));
        p.drawLine(QPointF(4, 24), QPointF(14, 24));
        p.drawLine(QPointF(9, 18), QPointF(15, 24));
        p.drawLine(QPointF(9, 30), QPointF(15, 24));
    });
    save("update.png", 64, 64, [](QPainter& p) {
        p.setPen(pen(kOrange, 6));
        p.drawArc(QRectF(8, 8, 48, 48), 30 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(kOrange);
        QPainterPath head;
        head.moveTo(46, 6); head.lineTo(58, 20); head.lineTo(42, 22); head.closeSubpath();
        p.drawPath(head);
    });

    // Input badges of the source, crop and EDID pages ("_lv": the input has a signal).
    const struct {
        const char* file;
        const char* text;
        QColor colour;
    } badges[] = {
        {"HDMI.png", "HDMI", kWhite},       {"HDMI13.png", "HDMI1.3", kWhite},  {"HDMI13_1.png", "HDMI1.3", kGrey},
        {"HDMI13_lv.png", "HDMI1.3", kGreen}, {"HDMI20.png", "HDMI2.0", kGrey}, {"HDMI20_lv.png", "HDMI2.0", kGreen},
        {"DVI.png", "DVI", kWhite},         {"dvilv.png", "DVI", kGreen},       {"extlv.png", "HDMI", kGreen},
    };
    for (const auto& b : badges)
        save(b.file, 50, 15, [&b](QPainter& p) { input_badge(p, b.text, b.colour, 50, 15); });
    save("state_on.png", 14, 14, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawEllipse(QRectF(1, 1, 12, 12));
    });
    save("state_off.png", 14, 14, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kGrey);
        p.drawEllipse(QRectF(1, 1, 12, 12));
    });
    save("add.png", 40, 40, [](QPainter& p) {
        p.setPen(pen(kOrange, 3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(3, 3, 34, 34));
        p.setPen(pen(kWhite, 4));
        p.drawLine(QPointF(20, 11), QPointF(20, 29));
        p.drawLine(QPointF(11, 20), QPointF(29, 20));
    });
    for (int m = 0; m < 4; ++m) {
        save(qPrintable(QString("mirror%1_on.png").arg(m + 1)), 32, 32, [m](QPainter& p) { mirror_mode(p, m, true); });
        save(qPrintable(QString("mirror%1_off.png").arg(m + 1)), 32, 32, [m](QPainter& p) { mirror_mode(p, m, false); });
    }
    settings_page_images();
    return 0;
}
