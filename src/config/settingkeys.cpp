#include "config/settingkeys.h"

const std::array<SettingKey, 17> SettingKeys{{
    {Setting::PicWidth, u"pic_width", u"图片宽度", SettingKind::Number},
    {Setting::PicHeight, u"pic_height", u"图片高度", SettingKind::Number},
    {Setting::PicZuoyoujiange, u"pic_zuoyoujiange", u"图片左右间距", SettingKind::Number},
    {Setting::PicShangxiajiange, u"pic_shangxiajiange", u"图片上下间距", SettingKind::Number},
    {Setting::PicShangxiaxiuzheng, u"pic_shangxiaxiuzheng", u"第一行图片上下修正",
     SettingKind::Number},
    {Setting::BiaotiTop, u"biaoti_top", u"大标题文字距顶部距离", SettingKind::Number},
    {Setting::BiaotiSize, u"biaoti_size", u"大标题文字大小", SettingKind::Number},
    {Setting::BiaotiColor, u"biaoti_color", u"大标题文字颜色", SettingKind::Colour},
    {Setting::Xiaobiaoti1, u"xiaobiaoti1", u"图片标题1文字大小", SettingKind::Number},
    {Setting::Xiaobiaoti2, u"xiaobiaoti2", u"图片标题2文字大小", SettingKind::Number},
    {Setting::Xiaobiaoti1Color, u"xiaobiaoti1_color", u"图片标题1文字颜色", SettingKind::Colour},
    {Setting::Xiaobiaoti2Color, u"xiaobiaoti2_color", u"图片标题2文字颜色", SettingKind::Colour},
    {Setting::PicBg, u"pic_bg", u"背景图片", SettingKind::Path},
    {Setting::BiaotiWenzi, u"biaoti_wenzi", u"大标题文字", SettingKind::Text},
    {Setting::PaimingZuishao, u"paiming_zuishao", u"排名最少评价数", SettingKind::Number},
    {Setting::ChongfuMiao, u"chongfu_miao", u"疑似重复间隔秒数", SettingKind::Number},
    {Setting::ChapingYuanyin, u"chaping_yuanyin", u"差评原因（用|分隔）", SettingKind::Text},
}};

const SettingKey &settingKey(Setting setting)
{
    // The rows stand in the order of the enum; the test of the table holds them to it.
    return SettingKeys[size_t(setting)];
}

QString keyName(Setting setting)
{
    return settingKey(setting).key.toString();
}
