#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

// Plain pictures and sample photo names for tests that load, cache and show photos.

// A picture of one colour.
inline QImage solid(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Whether two colours are alike within what JPEG compression changes.
inline bool near(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) < 24 && qAbs(a.green() - b.green()) < 24 &&
           qAbs(a.blue() - b.blue()) < 24;
}

// The colour at the centre of image; invalid for a null image.
inline QColor centre(const QImage &image)
{
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

// Sample photo n: "0001@窗口1#业务1.jpg", and a colour of its own.
inline QString photoName(int n)
{
    using namespace Qt::StringLiterals;
    return u"%1@窗口%2#业务%2.jpg"_s.arg(n, 4, 10, QChar(u'0')).arg(n);
}

inline QColor photoColor(int n)
{
    return QColor::fromHsv((n * 37) % 360, 255, 230);
}
