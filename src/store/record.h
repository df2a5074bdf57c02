#pragma once

#include <QString>
#include <QStringList>

// One stored rating: four text fields of table 评价.
struct EvaluationRecord
{
    QString name;  // 名称: caption line 1, two spaces, caption line 2
    QString date;  // 日期: "yyyy-MM-dd"
    QString time;  // 时间: "hh:mm:ss"
    QString grade; // 综合评价: one of the five grade words
    // The reasons the visitor tapped for a bad rating, stored beside the row in 评价_原因 (the
    // table keeps its four fields); empty for every other rating.
    QStringList reasons = {};
    bool operator==(const EvaluationRecord &) const = default;
};

// One entry of the staff PIN log, table 密码记录: when, what happened (密码正确, 密码错误, 锁定)
// and a short note (the attempts left, the length of a lock).
struct PinLogRecord
{
    QString date;   // 日期: "yyyy-MM-dd"
    QString time;   // 时间: "hh:mm:ss"
    QString event;  // 事件
    QString detail; // 说明
    bool operator==(const PinLogRecord &) const = default;
};

namespace grades {

// The grade word of star 1 to 5; empty for any other value.
QString word(int star);
// Points shown for star 1 to 5 (0, 30, 60, 80, 100); -1 for any other value.
int points(int star);
// Whether the grade word of star is a bad rating (不满意 or 非常不满意), which may carry reasons.
bool isBad(int star);
// The grade filter's items: "不限制" then the words from best to worst.
QStringList filterItems();

} // namespace grades
