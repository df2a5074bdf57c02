#pragma once

// A complete run folder in a temporary directory, as the kiosk finds it beside its executable:
// opt.ini, the asset pictures of pic/, photos in 图片/ and db.dll. Tests then break one piece.
#include "platform/gbk.h"
#include "store/schema.h"
#include "support/pictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QList>
#include <QPair>
#include <QTemporaryDir>

namespace runfolder {

using Settings = QList<QPair<QString, QString>>;

// The twelve numeric keys with workable values for any screen, in the file's order.
inline Settings goodSettings()
{
    return {{QStringLiteral("pic_width"), QStringLiteral("150")},
            {QStringLiteral("pic_height"), QStringLiteral("180")},
            {QStringLiteral("pic_zuoyoujiange"), QStringLiteral("40")},
            {QStringLiteral("pic_shangxiajiange"), QStringLiteral("100")},
            {QStringLiteral("pic_shangxiaxiuzheng"), QStringLiteral("20")},
            {QStringLiteral("biaoti_top"), QStringLiteral("30")},
            {QStringLiteral("biaoti_size"), QStringLiteral("36")},
            {QStringLiteral("biaoti_color"), QStringLiteral("255")},
            {QStringLiteral("xiaobiaoti1"), QStringLiteral("12")},
            {QStringLiteral("xiaobiaoti2"), QStringLiteral("10")},
            {QStringLiteral("xiaobiaoti1_color"), QStringLiteral("65280")},
            {QStringLiteral("xiaobiaoti2_color"), QStringLiteral("16711680")}};
}

inline QStringList numericKeys()
{
    QStringList keys;
    for (const auto &entry : goodSettings())
        keys.append(entry.first);
    return keys;
}

// key=value lines (GBK), each ended by lineEnd.
inline QByteArray entries(const Settings &settings, const QByteArray &lineEnd = "\r\n")
{
    QByteArray out;
    for (const auto &[key, value] : settings)
        out += gbk::encode(key) + '=' + gbk::encode(value) + lineEnd;
    return out;
}

inline QByteArray section(const Settings &settings, const QByteArray &lineEnd = "\r\n")
{
    return "[canshu]" + lineEnd + entries(settings, lineEnd);
}

inline QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// A JPEG whose frame header claims width x height pixels but whose data is that of a small
// picture: the size any decoder sees first.
inline QByteArray jpegClaiming(int width, int height)
{
    QByteArray bytes = encoded(solid({16, 16}, Qt::darkGreen), "JPEG");
    for (qsizetype i = 2; i + 9 < bytes.size(); ++i) {
        const auto marker = quint8(bytes.at(i + 1));
        if (quint8(bytes.at(i)) == 0xFF && (marker == 0xC0 || marker == 0xC1 || marker == 0xC2)) {
            bytes[i + 5] = char(height >> 8);
            bytes[i + 6] = char(height & 0xFF);
            bytes[i + 7] = char(width >> 8);
            bytes[i + 8] = char(width & 0xFF);
            break;
        }
    }
    return bytes;
}

// The folder with everything in place: good settings, the five asset pictures, the given photos
// (file name and colour) and an empty database.
class RunFolder
{
public:
    RunFolder()
    {
        QDir root(m_dir.path());
        root.mkpath(QStringLiteral("pic"));
        root.mkpath(QStringLiteral("图片"));
        writeSettings(section(goodSettings()));
        solid({55, 80}, Qt::yellow).save(path(QStringLiteral("pic/xiangzuo.png")), "PNG");
        solid({55, 80}, Qt::cyan).save(path(QStringLiteral("pic/xiangyou.png")), "PNG");
        solid({320, 240}, DefaultBackground).save(path(QStringLiteral("pic/背景图片.jpg")), "JPEG");
        solid({16, 16}, QColor(255, 200, 0))
            .save(path(QStringLiteral("pic/zhengchang.png")), "PNG");
        solid({16, 16}, Qt::gray).save(path(QStringLiteral("pic/huidu.png")), "PNG");
        store::createDatabaseFile(db());
    }

    static inline const QColor DefaultBackground{40, 90, 160};

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    QString db() const { return path(QStringLiteral("db.dll")); }
    QString ini() const { return path(QStringLiteral("opt.ini")); }

    bool writeSettings(const QByteArray &content) { return writeBytes(ini(), content); }
    bool writePhoto(const QString &name, const QByteArray &bytes)
    {
        return writeBytes(path(QStringLiteral("图片/") + name), bytes);
    }
    bool writePhoto(const QString &name, QColor color)
    {
        return writePhoto(name, encoded(solid({200, 200}, color), "JPEG"));
    }

private:
    QTemporaryDir m_dir;
};

} // namespace runfolder
