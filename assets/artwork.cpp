#include "artwork.h"

#include "config/settingkeys.h"
#include "config/settingsfile.h"
#include "kiosk/layout.h"
#include "platform/gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;

namespace artwork {

namespace {

constexpr int JpegQuality = 88;
constexpr int BuiltinJpegQuality = 85;

QFont cjkFont(qreal pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({u"黑体"_s, u"SimHei"_s, u"WenQuanYi Micro Hei"_s});
    font.setPixelSize(qMax(1, qRound(pixelSize)));
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QImage transparentImage(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// One horizontal and one vertical running-sum pass of a box blur over premultiplied ARGB.
void boxBlurPass(QImage &image, int radius)
{
    const int w = image.width();
    const int h = image.height();
    const int window = 2 * radius + 1;
    std::vector<QRgb> line(qMax(w, h));
    auto blurLine = [&](int count, auto pixelAt) {
        for (int i = 0; i < count; ++i)
            line[i] = *pixelAt(i);
        int sum[4] = {0, 0, 0, 0};
        auto add = [&](int i, int sign) {
            const QRgb p = line[std::clamp(i, 0, count - 1)];
            sum[0] += sign * qAlpha(p);
            sum[1] += sign * qRed(p);
            sum[2] += sign * qGreen(p);
            sum[3] += sign * qBlue(p);
        };
        for (int i = -radius; i <= radius; ++i)
            add(i, 1);
        for (int i = 0; i < count; ++i) {
            *pixelAt(i) = qRgba(sum[1] / window, sum[2] / window, sum[3] / window, sum[0] / window);
            add(i + radius + 1, 1);
            add(i - radius, -1);
        }
    };
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        blurLine(w, [row](int x) { return row + x; });
    }
    for (int x = 0; x < w; ++x)
        blurLine(h, [&image, x](int y) { return reinterpret_cast<QRgb *>(image.scanLine(y)) + x; });
}

// Three box passes come close to a Gaussian blur.
void blur(QImage &image, int radius)
{
    if (radius <= 0)
        return;
    for (int pass = 0; pass < 3; ++pass)
        boxBlurPass(image, radius);
}

// A soft shadow of shape: the shape filled in black at the given opacity, offset and blurred.
void drawShadow(QPainter &p, const QPainterPath &shape, QPointF offset, int blurRadius,
                qreal opacity)
{
    const QSize size = p.device() ? QSize(p.device()->width(), p.device()->height()) : QSize();
    QImage layer = transparentImage(size);
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.translate(offset);
        lp.fillPath(shape, QColor(0, 0, 0, qRound(255 * opacity)));
    }
    blur(layer, blurRadius);
    p.drawImage(0, 0, layer);
}

void softGlow(QPainter &p, QPointF centre, qreal radius, const QColor &colour)
{
    QRadialGradient g(centre, radius);
    QColor edge = colour;
    edge.setAlpha(0);
    g.setColorAt(0, colour);
    g.setColorAt(1, edge);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
}

// Round blurred discs scattered over the picture, as out-of-focus lights.
void bokeh(QPainter &p, QSizeF size, quint32 seed, int count, int maxAlpha)
{
    QRandomGenerator rng(seed);
    for (int i = 0; i < count; ++i) {
        const QPointF c(rng.bounded(size.width()), rng.bounded(size.height()));
        const qreal r = size.width() * (0.01 + rng.bounded(0.05));
        softGlow(p, c, r, QColor(255, 255, 255, 4 + rng.bounded(maxAlpha)));
    }
}

QPainterPath roundedShape(const QPainterPath &outline, qreal rounding)
{
    QPainterPathStroker stroker;
    stroker.setWidth(rounding);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setCapStyle(Qt::RoundCap);
    return outline.united(stroker.createStroke(outline)).simplified();
}

QPainterPath starOutline(QPointF centre, qreal outer, qreal inner)
{
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const qreal angle = qDegreesToRadians(-90.0 + 36.0 * i);
        const qreal r = (i % 2 == 0) ? outer : inner;
        const QPointF pt(centre.x() + r * std::cos(angle), centre.y() + r * std::sin(angle));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    return path;
}

bool saveImage(const QImage &image, const QString &path, const char *format, int quality = -1)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    if (qstrcmp(format, "JPG") == 0)
        return image.convertToFormat(QImage::Format_RGB32).save(path, format, quality);
    return image.save(path, format, quality);
}

// ---- backgrounds ----------------------------------------------------------------------------

QImage opaqueCanvas(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

void verticalGradient(QPainter &p, QSizeF size, const QList<std::pair<qreal, QColor>> &stops)
{
    QLinearGradient g(0, 0, 0, size.height());
    for (const auto &[at, colour] : stops)
        g.setColorAt(at, colour);
    p.fillRect(QRectF(QPointF(0, 0), size), g);
}

// Light beams fanning down from a point above the top edge.
void lightBeams(QPainter &p, QSizeF size, QPointF origin, int count, int alpha)
{
    p.setPen(Qt::NoPen);
    for (int i = 0; i < count; ++i) {
        const qreal spread = size.width() * 1.6 / count;
        const qreal x = -size.width() * 0.3 + spread * i;
        QPolygonF beam;
        beam << origin << QPointF(x, size.height()) << QPointF(x + spread * 0.45, size.height());
        QLinearGradient g(origin, QPointF(origin.x(), size.height()));
        g.setColorAt(0, QColor(255, 255, 255, alpha));
        g.setColorAt(1, QColor(255, 255, 255, 0));
        p.setBrush(g);
        p.drawPolygon(beam);
    }
}

// A translucent wave band across the picture between baseline +- amplitude.
void wave(QPainter &p, QSizeF size, qreal baseline, qreal amplitude, qreal periods, qreal phase,
          const QColor &colour)
{
    QPainterPath path;
    path.moveTo(0, size.height());
    const int steps = 64;
    for (int i = 0; i <= steps; ++i) {
        const qreal x = size.width() * i / steps;
        const qreal y = baseline + amplitude * std::sin(phase + 2 * M_PI * periods * i / steps);
        path.lineTo(x, y);
    }
    path.lineTo(size.width(), size.height());
    path.closeSubpath();
    p.fillPath(path, colour);
}

QImage mainBuiltin(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF s = size;
    verticalGradient(p, s,
                     {{0, QColor(7, 52, 56)}, {0.5, QColor(17, 98, 92)}, {1, QColor(8, 62, 60)}});
    softGlow(p, QPointF(s.width() * 0.5, s.height() * 0.1), s.width() * 0.55,
             QColor(150, 230, 210, 60));
    wave(p, s, s.height() * 0.80, s.height() * 0.025, 1.3, 0.4, QColor(255, 255, 255, 16));
    wave(p, s, s.height() * 0.85, s.height() * 0.03, 0.9, 2.0, QColor(255, 255, 255, 14));
    wave(p, s, s.height() * 0.90, s.height() * 0.02, 1.7, 4.1, QColor(0, 30, 30, 50));
    bokeh(p, s, 11, 18, 14);
    return image;
}

QImage dialogBuiltin(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF s = size;
    QLinearGradient g(0, 0, s.width(), s.height());
    g.setColorAt(0, QColor(14, 38, 72));
    g.setColorAt(0.55, QColor(28, 78, 134));
    g.setColorAt(1, QColor(20, 56, 104));
    p.fillRect(image.rect(), g);
    // A lighter band behind the row of stars and a warm glow at the top right.
    QLinearGradient band(0, s.height() * 0.45, 0, s.height() * 0.82);
    band.setColorAt(0, QColor(255, 255, 255, 0));
    band.setColorAt(0.5, QColor(255, 255, 255, 26));
    band.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, s.height() * 0.45, s.width(), s.height() * 0.37), band);
    softGlow(p, QPointF(s.width() * 0.85, s.height() * 0.05), s.width() * 0.45,
             QColor(255, 210, 120, 40));
    // Faint little stars scattered over the top half.
    QRandomGenerator rng(23);
    for (int i = 0; i < 26; ++i) {
        const QPointF c(rng.bounded(s.width()), rng.bounded(s.height() * 0.4));
        const qreal r = s.width() * (0.006 + rng.bounded(0.01));
        p.fillPath(starOutline(c, r, r * 0.45), QColor(255, 230, 160, 30 + rng.bounded(40)));
    }
    wave(p, s, s.height() * 0.90, s.height() * 0.02, 1.1, 1.0, QColor(110, 170, 240, 45));
    wave(p, s, s.height() * 0.93, s.height() * 0.015, 1.6, 2.6, QColor(255, 255, 255, 24));
    return image;
}

QImage statsBuiltin(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF s = size;
    verticalGradient(p, s, {{0, QColor(12, 40, 74)}, {1, QColor(28, 82, 130)}});
    softGlow(p, QPointF(s.width() * 0.3, s.height() * 0.2), s.width() * 0.6,
             QColor(120, 180, 255, 45));
    // Faint chart grid.
    p.setPen(QPen(QColor(255, 255, 255, 22), 2));
    for (int i = 1; i < 8; ++i)
        p.drawLine(QPointF(0, s.height() * i / 8), QPointF(s.width(), s.height() * i / 8));
    // Rising bars.
    const qreal heights[] = {0.22, 0.34, 0.30, 0.46, 0.52, 0.64, 0.72};
    const int bars = std::size(heights);
    const qreal slot = s.width() / (bars + 1);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < bars; ++i) {
        const qreal bh = s.height() * heights[i];
        const QRectF bar(slot * (i + 0.7), s.height() - bh, slot * 0.6, bh + 20);
        QLinearGradient bg(bar.topLeft(), bar.bottomLeft());
        bg.setColorAt(0, QColor(140, 200, 255, 70));
        bg.setColorAt(1, QColor(140, 200, 255, 15));
        p.setBrush(bg);
        p.drawRoundedRect(bar, slot * 0.08, slot * 0.08);
    }
    // Trend line over the bars.
    QPolygonF trend;
    for (int i = 0; i < bars; ++i)
        trend << QPointF(slot * (i + 1.0), s.height() * (0.92 - heights[i]) - 30);
    p.setPen(QPen(QColor(255, 204, 90, 150), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(trend);
    p.setBrush(QColor(255, 220, 130, 190));
    p.setPen(Qt::NoPen);
    for (const QPointF &pt : trend)
        p.drawEllipse(pt, 10, 10);
    return image;
}

// One cloud: overlapping white puffs, shaded grey-blue underneath, blurred at the edges.
void cloud(QPainter &p, QSize canvas, QPointF centre, qreal scale, quint32 seed)
{
    QImage layer = transparentImage(canvas);
    QRandomGenerator rng(seed);
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.setPen(Qt::NoPen);
        lp.setBrush(Qt::white);
        // Round puffs rising over a flat base: small at the ends, the biggest a little right of
        // the middle.
        const qreal puffs[][3] = {{-1.05, -0.02, 0.42},
                                  {-0.5, -0.32, 0.6},
                                  {0.1, -0.52, 0.78},
                                  {0.7, -0.34, 0.6},
                                  {1.12, -0.05, 0.42}};
        for (const auto &puff : puffs) {
            const qreal jitter = 1.0 + (rng.bounded(0.24) - 0.12);
            const qreal r = scale * puff[2] * jitter;
            lp.drawEllipse(QPointF(centre.x() + scale * puff[0], centre.y() + scale * puff[1]), r,
                           r * 0.92);
        }
        lp.drawRoundedRect(
            QRectF(centre.x() - scale * 1.45, centre.y() - scale * 0.1, scale * 2.9, scale * 0.42),
            scale * 0.21, scale * 0.21);
        // Shade the underside.
        lp.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        QLinearGradient shade(0, centre.y() - scale * 1.2, 0, centre.y() + scale * 0.32);
        shade.setColorAt(0, QColor(255, 255, 255, 0));
        shade.setColorAt(0.55, QColor(235, 240, 248, 60));
        shade.setColorAt(1, QColor(160, 182, 210, 190));
        lp.fillRect(layer.rect(), shade);
    }
    blur(layer, qMax(1, qRound(scale * 0.03)));
    p.drawImage(0, 0, layer);
}

QImage skyBuiltin(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF s = size;
    verticalGradient(
        p, s,
        {{0, QColor(30, 104, 192)}, {0.55, QColor(72, 148, 222)}, {1, QColor(200, 230, 255)}});
    softGlow(p, QPointF(s.width() * 0.85, s.height() * 0.08), s.width() * 0.35,
             QColor(255, 250, 225, 90));
    // The staff windows put small white labels over the upper two thirds, so the clouds keep to
    // the top edge and the lower part.
    const qreal u = s.width() / 1024.0;
    cloud(p, size, QPointF(150 * u, 48 * u), 34 * u, 1);
    cloud(p, size, QPointF(660 * u, 44 * u), 30 * u, 2);
    cloud(p, size, QPointF(160 * u, 610 * u), 95 * u, 3);
    cloud(p, size, QPointF(560 * u, 690 * u), 105 * u, 4);
    cloud(p, size, QPointF(900 * u, 580 * u), 85 * u, 5);
    return image;
}

// ---- photos ---------------------------------------------------------------------------------

const SampleEntry Samples[] = {
    {u"一号窗口"_s, u"社保业务"_s, 1, false}, {u"二号窗口"_s, u"医保业务"_s, 2, false},
    {u"张明"_s, u"综合受理"_s, 0, false},     {u"三号窗口"_s, u"不动产登记"_s, 3, false},
    {u"李静"_s, u"咨询引导"_s, 0, true},      {u"四号窗口"_s, u"税务办理"_s, 4, false},
    {u"王芳"_s, u"户籍业务"_s, 0, true},      {u"五号窗口"_s, u"公积金业务"_s, 5, false},
    {u"刘洋"_s, u"企业开办"_s, 0, false},     {u"六号窗口"_s, u"出入境业务"_s, 6, false},
    {u"陈晓燕"_s, u"帮办代办"_s, 0, true},    {u"七号窗口"_s, u"民政服务"_s, 7, false},
    {u"赵磊"_s, u"投诉受理"_s, 0, false},     {u"八号窗口"_s, u"自助服务"_s, 8, false},
};
constexpr int SampleCount = int(std::size(Samples));

QColor cardColour(int index)
{
    // Hues spread around the wheel by the golden angle, so neighbours differ clearly.
    const int hue = int(std::fmod(200.0 + index * 137.508, 360.0));
    return QColor::fromHsv(hue, 150, 200);
}

// Head and shoulders of a person, centred on x, head centre at headY, with dark hair.
void silhouette(QPainter &p, qreal x, qreal headY, qreal unit, bool female, const QColor &fill,
                const QColor &cut)
{
    const QColor hair(58, 46, 42, fill.alpha());
    p.setPen(Qt::NoPen);
    if (female) {
        p.setBrush(hair);
        p.drawRoundedRect(QRectF(x - unit * 1.2, headY - unit * 1.25, unit * 2.4, unit * 2.75),
                          unit * 1.15, unit * 1.1);
    }
    p.setBrush(fill);
    QPainterPath body;
    const qreal top = headY + unit * 1.25;
    body.moveTo(x - unit * 2.2, top + unit * 2.6);
    body.cubicTo(x - unit * 2.2, top + unit * 0.4, x - unit * 1.4, top, x, top);
    body.cubicTo(x + unit * 1.4, top, x + unit * 2.2, top + unit * 0.4, x + unit * 2.2,
                 top + unit * 2.6);
    body.closeSubpath();
    p.drawPath(body);
    // Collar: a V cut into the body in the card's colour.
    QPolygonF collar;
    collar << QPointF(x - unit * 0.55, top + unit * 0.02) << QPointF(x, top + unit * 0.9)
           << QPointF(x + unit * 0.55, top + unit * 0.02);
    p.setBrush(cut);
    p.drawPolygon(collar);
    const QRectF face(x - unit * 0.9, headY - unit * 0.95, unit * 1.8, unit * 2.05);
    p.setBrush(fill);
    p.drawEllipse(face);
    if (!female) {
        // Short hair: the top of a slightly larger head.
        QPainterPath cap;
        cap.addEllipse(face.adjusted(-unit * 0.06, -unit * 0.1, unit * 0.06, 0));
        QPainterPath above;
        above.addRect(
            QRectF(face.left() - unit, face.top() - unit, face.width() + 2 * unit, unit * 1.45));
        p.setBrush(hair);
        p.drawPath(cap.intersected(above));
    } else {
        // Fringe over the forehead.
        QPainterPath fringe;
        fringe.addEllipse(face.adjusted(-unit * 0.05, -unit * 0.08, unit * 0.05, 0));
        QPainterPath above;
        above.addRect(
            QRectF(face.left() - unit, face.top() - unit, face.width() + 2 * unit, unit * 1.35));
        p.setBrush(hair);
        p.drawPath(fringe.intersected(above));
    }
    // Name badge on the chest.
    p.setBrush(cut);
    p.drawRoundedRect(QRectF(x + unit * 0.85, top + unit * 0.9, unit * 0.75, unit * 0.42),
                      unit * 0.08, unit * 0.08);
}

// A service counter: a sign with the window's number above a glass pane and a desk.
void counter(QPainter &p, QSizeF s, int number, const QColor &base)
{
    const QColor white(255, 255, 255, 240);
    const QRectF sign(s.width() * 0.22, s.height() * 0.08, s.width() * 0.56, s.height() * 0.15);
    p.setPen(Qt::NoPen);
    p.setBrush(white);
    p.drawRoundedRect(sign, s.width() * 0.03, s.width() * 0.03);
    p.setPen(base.darker(160));
    p.setFont(cjkFont(sign.height() * 0.62, true));
    p.drawText(sign, Qt::AlignCenter, u"%1 号"_s.arg(number));

    const QRectF pane(s.width() * 0.14, s.height() * 0.27, s.width() * 0.72, s.height() * 0.36);
    p.setPen(QPen(white, s.width() * 0.025));
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawRoundedRect(pane, s.width() * 0.02, s.width() * 0.02);
    p.save();
    p.setClipRect(pane.adjusted(4, 4, -4, -4));
    silhouette(p, s.width() * 0.5, pane.top() + pane.height() * 0.38, s.width() * 0.06, false,
               QColor(255, 255, 255, 150), base.darker(115));
    p.restore();
    // Window reflections.
    p.setPen(QPen(QColor(255, 255, 255, 90), s.width() * 0.012, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(pane.left() + pane.width() * 0.72, pane.top() + pane.height() * 0.12),
               QPointF(pane.left() + pane.width() * 0.88, pane.top() + pane.height() * 0.38));
    p.setPen(Qt::NoPen);
    p.setBrush(white);
    p.drawRoundedRect(
        QRectF(s.width() * 0.06, s.height() * 0.62, s.width() * 0.88, s.height() * 0.07),
        s.width() * 0.015, s.width() * 0.015);
}

// Fits text into width by shrinking the font when it is too wide.
void drawFittedText(QPainter &p, const QRectF &box, const QString &text, QFont font)
{
    while (font.pixelSize() > 8 && QFontMetricsF(font).horizontalAdvance(text) > box.width())
        font.setPixelSize(font.pixelSize() - 1);
    p.setFont(font);
    p.drawText(box, Qt::AlignCenter, text);
}

} // namespace

// ---- folder pic ----------------------------------------------------------------------------

QStringList picFileNames()
{
    return {u"xiangzuo.png"_s, u"xiangyou.png"_s, u"背景图片.jpg"_s, u"huidu.png"_s,
            u"zhengchang.png"_s};
}

QImage arrow(Direction direction, QSize size)
{
    QImage image = transparentImage(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width();
    const qreal h = size.height();
    const qreal rounding = w * 0.16;
    QPainterPath triangle;
    triangle.moveTo(w * 0.18, h * 0.5);
    triangle.lineTo(w * 0.80, h * 0.13);
    triangle.lineTo(w * 0.80, h * 0.87);
    triangle.closeSubpath();
    QPainterPath shape = roundedShape(triangle, rounding);
    if (direction == Direction::Right)
        shape = QTransform(-1, 0, 0, 1, w, 0).map(shape);

    drawShadow(p, shape, QPointF(w * 0.02, h * 0.025), qMax(1, int(w * 0.03)), 0.45);
    QLinearGradient fill(0, h * 0.1, 0, h * 0.9);
    fill.setColorAt(0, QColor(255, 218, 96));
    fill.setColorAt(0.5, QColor(255, 160, 30));
    fill.setColorAt(1, QColor(232, 112, 0));
    p.fillPath(shape, fill);
    // Gloss on the upper half.
    p.save();
    p.setClipPath(shape);
    QLinearGradient gloss(0, h * 0.1, 0, h * 0.52);
    gloss.setColorAt(0, QColor(255, 255, 255, 150));
    gloss.setColorAt(1, QColor(255, 255, 255, 10));
    p.fillRect(QRectF(0, 0, w, h * 0.5), gloss);
    p.restore();
    p.setPen(QPen(Qt::white, qMax(2.0, w * 0.045), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    return image;
}

QImage star(bool lit, int side)
{
    QImage image = transparentImage(QSize(side, side));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = side;
    const QPointF centre(s * 0.5, s * 0.53);
    const QPainterPath shape = roundedShape(starOutline(centre, s * 0.42, s * 0.19), s * 0.07);

    drawShadow(p, shape, QPointF(0, s * 0.02), qMax(1, int(s * 0.025)), lit ? 0.35 : 0.25);
    QRadialGradient body(QPointF(s * 0.42, s * 0.38), s * 0.55);
    if (lit) {
        body.setColorAt(0, QColor(255, 250, 190));
        body.setColorAt(0.35, QColor(255, 214, 60));
        body.setColorAt(1, QColor(226, 140, 0));
    } else {
        body.setColorAt(0, QColor(246, 246, 246));
        body.setColorAt(0.4, QColor(200, 200, 204));
        body.setColorAt(1, QColor(140, 140, 146));
    }
    p.fillPath(shape, body);
    p.save();
    p.setClipPath(shape);
    QLinearGradient gloss(0, s * 0.1, 0, s * 0.5);
    gloss.setColorAt(0, QColor(255, 255, 255, lit ? 140 : 120));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(QRectF(s * 0.1, -s * 0.2, s * 0.8, s * 0.7));
    p.restore();
    p.setPen(QPen(lit ? QColor(178, 100, 0) : QColor(112, 112, 118), qMax(1.5, s * 0.025),
                  Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    return image;
}

QImage defaultBackground(QSize size)
{
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF s = size;
    verticalGradient(
        p, s, {{0, QColor(9, 44, 86)}, {0.55, QColor(20, 86, 150)}, {1, QColor(11, 54, 100)}});
    lightBeams(p, s, QPointF(s.width() * 0.5, -s.height() * 0.3), 9, 9);
    softGlow(p, QPointF(s.width() * 0.5, 0), s.width() * 0.6, QColor(130, 190, 255, 70));
    // A lighter floor with a thin horizon line.
    QLinearGradient floor(0, s.height() * 0.91, 0, s.height());
    floor.setColorAt(0, QColor(255, 255, 255, 22));
    floor.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, s.height() * 0.91, s.width(), s.height() * 0.09), floor);
    p.setPen(QPen(QColor(255, 255, 255, 40), qMax(1.0, s.height() / 400)));
    p.drawLine(QPointF(0, s.height() * 0.91), QPointF(s.width(), s.height() * 0.91));
    bokeh(p, s, 7, 22, 14);
    return image;
}

bool writePicFolder(const QString &picDir)
{
    const QDir dir(picDir);
    bool ok = saveImage(arrow(Direction::Left), dir.filePath(u"xiangzuo.png"_s), "PNG");
    ok = saveImage(arrow(Direction::Right), dir.filePath(u"xiangyou.png"_s), "PNG") && ok;
    ok = saveImage(defaultBackground(), dir.filePath(u"背景图片.jpg"_s), "JPG", JpegQuality) && ok;
    ok = saveImage(star(false), dir.filePath(u"huidu.png"_s), "PNG") && ok;
    ok = saveImage(star(true), dir.filePath(u"zhengchang.png"_s), "PNG") && ok;
    return ok;
}

// ---- built-in window pictures --------------------------------------------------------------

QStringList builtinPictureNames()
{
    return {u"main-background.jpg"_s, u"dialog-background.jpg"_s, u"stats-background.jpg"_s,
            u"sky.jpg"_s};
}

QImage builtinPicture(const QString &name)
{
    const QSize size(1024, 768);
    if (name == u"main-background.jpg")
        return mainBuiltin(size);
    if (name == u"dialog-background.jpg")
        return dialogBuiltin(size);
    if (name == u"stats-background.jpg")
        return statsBuiltin(size);
    if (name == u"sky.jpg")
        return skyBuiltin(size);
    return {};
}

bool writeBuiltinPictures(const QString &dir)
{
    bool ok = true;
    for (const QString &name : builtinPictureNames())
        ok = saveImage(builtinPicture(name), QDir(dir).filePath(name), "JPG", BuiltinJpegQuality) &&
             ok;
    return ok;
}

// ---- photos --------------------------------------------------------------------------------

SampleEntry sampleEntry(int index)
{
    if (index >= 0 && index < SampleCount)
        return Samples[index];
    const int number = 9 + qMax(0, index - SampleCount);
    return {u"%1号窗口"_s.arg(number), u"综合业务"_s, number, false};
}

QString samplePhotoName(int index)
{
    const SampleEntry e = sampleEntry(index);
    return u"%1@%2#%3.jpg"_s.arg(index + 1, 4, 10, QLatin1Char('0')).arg(e.line1, e.line2);
}

QImage samplePhoto(int index, QSize size)
{
    const SampleEntry e = sampleEntry(index);
    const QColor base = cardColour(index);
    QImage image = opaqueCanvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QSizeF s = size;
    verticalGradient(p, s, {{0, base.lighter(135)}, {1, base.darker(140)}});
    softGlow(p, QPointF(s.width() * 0.5, s.height() * 0.4), s.width() * 0.55,
             QColor(255, 255, 255, 60));

    if (e.windowNumber > 0)
        counter(p, s, e.windowNumber, base);
    else
        silhouette(p, s.width() * 0.5, s.height() * 0.30, s.width() * 0.12, e.female,
                   QColor(255, 255, 255, 235), base.darker(110));

    // Caption panel.
    const QRectF panel(s.width() * 0.05, s.height() * 0.74, s.width() * 0.9, s.height() * 0.22);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawRoundedRect(panel, s.width() * 0.03, s.width() * 0.03);
    p.setPen(base.darker(200));
    drawFittedText(p,
                   QRectF(panel.left() + 8, panel.top() + panel.height() * 0.08, panel.width() - 16,
                          panel.height() * 0.5),
                   e.line1, cjkFont(s.height() * 0.066, true));
    p.setPen(QColor(90, 90, 90));
    drawFittedText(p,
                   QRectF(panel.left() + 8, panel.top() + panel.height() * 0.56, panel.width() - 16,
                          panel.height() * 0.36),
                   e.line2, cjkFont(s.height() * 0.045, false));

    p.setPen(QColor(255, 255, 255, 200));
    p.setFont(cjkFont(s.height() * 0.03, true));
    p.drawText(QRectF(s.width() * 0.04, s.height() * 0.01, s.width() * 0.5, s.height() * 0.06),
               Qt::AlignLeft | Qt::AlignVCenter,
               u"NO.%1"_s.arg(index + 1, 4, 10, QLatin1Char('0')));
    return image;
}

bool writeSamplePhotos(const QString &photoDir, int count, QSize size)
{
    if (!QDir().mkpath(photoDir))
        return false;
    bool ok = true;
    for (int i = 0; i < count; ++i)
        ok = saveImage(samplePhoto(i, size), QDir(photoDir).filePath(samplePhotoName(i)), "JPG",
                       JpegQuality) &&
             ok;
    return ok;
}

QImage cameraPhoto(int index, QSize size)
{
    // A soft scene (sky, wall, floor) with a person-sized blob, then per-pixel sensor noise whose
    // strength varies with the index so the file sizes spread over a few megabytes.
    QImage image = opaqueCanvas(size);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const QSizeF s = size;
        const QColor base = cardColour(index);
        verticalGradient(p, s,
                         {{0, base.lighter(150)},
                          {0.65, base},
                          {0.66, base.darker(170)},
                          {1, base.darker(220)}});
        silhouette(p, s.width() * 0.5, s.height() * 0.32, s.width() * 0.08, index % 3 == 1,
                   QColor(60, 50, 45), base.darker(130));
        softGlow(p, QPointF(s.width() * 0.3, s.height() * 0.2), s.width() * 0.4,
                 QColor(255, 250, 230, 90));
    }
    const int amplitude = 5 + (index % 4) * 2;
    quint32 state = 0x9E3779B9u ^ quint32(index * 7919 + 1);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            // xorshift32: cheap noise with no visible pattern.
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int n = int(state % (2 * amplitude + 1)) - amplitude;
            const int tint = int((state >> 16) % 5) - 2;
            const QRgb px = row[x];
            row[x] =
                qRgb(std::clamp(qRed(px) + n + tint, 0, 255), std::clamp(qGreen(px) + n, 0, 255),
                     std::clamp(qBlue(px) + n - tint, 0, 255));
        }
    }
    return image;
}

QString cameraPhotoName(int index)
{
    return u"%1@员工%2#现场照片.jpg"_s.arg(index + 1, 4, 10, QLatin1Char('0')).arg(index + 1);
}

bool writeCameraPhotos(const QString &dir, int count, QSize size)
{
    if (!QDir().mkpath(dir))
        return false;
    bool ok = true;
    for (int i = 0; i < count; ++i)
        ok = saveImage(cameraPhoto(i, size), QDir(dir).filePath(cameraPhotoName(i)), "JPG", 92) &&
             ok;
    return ok;
}

// ---- settings ------------------------------------------------------------------------------

QList<std::pair<QString, qint32>> defaultSettings()
{
    return {
        {keyName(Setting::PicWidth), 140},
        {keyName(Setting::PicHeight), 168},
        {keyName(Setting::PicZuoyoujiange), 36},
        {keyName(Setting::PicShangxiajiange), 90},
        {keyName(Setting::PicShangxiaxiuzheng), 30},
        {keyName(Setting::BiaotiTop), 36},
        {keyName(Setting::BiaotiSize), 36},
        {keyName(Setting::BiaotiColor), 65535}, // yellow
        {keyName(Setting::Xiaobiaoti1), 14},
        {keyName(Setting::Xiaobiaoti2), 12},
        {keyName(Setting::Xiaobiaoti1Color), 16777215}, // white
        {keyName(Setting::Xiaobiaoti2Color), 15794175}, // pale yellow (RGB 255, 255, 240)
    };
}

QList<std::pair<QString, qint32>> settingsForScreen(QSize screen)
{
    QList<std::pair<QString, qint32>> settings = defaultSettings();
    if (screen.isEmpty())
        return settings;
    for (const auto &[key, value] :
         screenLayoutSettings(fitToScreen(screen.width(), screen.height()))) {
        for (auto &entry : settings) {
            if (entry.first == key)
                entry.second = value;
        }
    }
    return settings;
}

QString defaultTitle()
{
    return u"欢迎光临综合服务中心"_s;
}

bool writeDefaultOptIni(const QString &path, QSize screen)
{
    QString text = u"[canshu]\r\n"_s;
    for (const auto &[key, value] : settingsForScreen(screen))
        text += u"%1=%2\r\n"_s.arg(key).arg(value);
    text += keyName(Setting::BiaotiWenzi) + u'=' + defaultTitle() + u"\r\n"_s;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    // A new file in full or none: written beside and renamed into place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = gbk::encode(text);
    return file.write(bytes) == bytes.size() && file.commit();
}

// ---- run folder ----------------------------------------------------------------------------

RunFolderReport writeRunFolder(const QString &runDir, int photoCount, QSize screen)
{
    RunFolderReport report;
    const QDir dir(runDir);
    bool ok = QDir().mkpath(runDir) && writePicFolder(dir.filePath(u"pic"_s));
    const QString ini = dir.filePath(u"opt.ini"_s);
    if (!QFileInfo::exists(ini)) {
        ok = writeDefaultOptIni(ini, screen) && ok;
        report.wroteOptIni = true;
    }
    const QString photos = dir.filePath(u"图片"_s);
    if (!QFileInfo::exists(photos)) {
        ok = writeSamplePhotos(photos, photoCount) && ok;
        report.wrotePhotos = true;
    }
    report.ok = ok;
    return report;
}

} // namespace artwork
