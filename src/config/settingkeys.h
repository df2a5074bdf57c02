#pragma once

#include <QString>
#include <QStringView>

#include <array>

// The keys of section "canshu" of opt.ini. Every reader and writer of a setting names it by
// this enum; the table below holds the one spelling on disk.
enum class Setting
{
    PicWidth,
    PicHeight,
    PicZuoyoujiange,
    PicShangxiajiange,
    PicShangxiaxiuzheng,
    BiaotiTop,
    BiaotiSize,
    BiaotiColor,
    Xiaobiaoti1,
    Xiaobiaoti2,
    Xiaobiaoti1Color,
    Xiaobiaoti2Color,
    PicBg,
    BiaotiWenzi,
    PaimingZuishao,
    ChongfuMiao,
    ChapingYuanyin,
};

// How a value is written: a signed whole number, a colour as a signed whole number in the
// layout 0x00BBGGRR, free text, or a file path.
enum class SettingKind
{
    Number,
    Colour,
    Text,
    Path
};

struct SettingKey
{
    Setting setting;
    QStringView key;     // the name in opt.ini, exactly as it stands on disk
    QStringView meaning; // what it sets, in the words of the parameter window
    SettingKind kind;
};

// Every key, in the order of the enum (which is the order the parameter window lists them).
extern const std::array<SettingKey, 17> SettingKeys;

// The table row of setting.
const SettingKey &settingKey(Setting setting);
// The name of setting in opt.ini.
QString keyName(Setting setting);
