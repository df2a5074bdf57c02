#pragma once

#include <QString>
#include <QStringList>

// The alert service's tables at the central database and the trigger that tells it of new
// ratings. Run at the service's start and by its commands, after the central schema; each
// statement keeps what exists already.
namespace alert {

// The notification channel the trigger on 评价 signals.
inline constexpr char NotifyChannel[] = "quorvel_alert";

// In order, in one transaction:
// 告警_渠道 the channels (a robot's webhook or an SMTP server) with their state;
// 告警_规则 the rules; 告警_待判 the bad ratings not yet looked at by the rules, filled by a
// statement-level trigger on 评价 in the inserting transaction; 告警_发件箱 the outbox, one row
// per alert and channel, marked sent only after the channel took it; 告警_发送记录 the messages
// each channel took (for the limit per minute); 告警_连续状态 and 告警_低分状态 what the run and
// low-hour rules already alerted; 终端大厅 the halls (as the dashboard keeps them).
QStringList schemaStatements();
// Statements run after that transaction, one by one, outside any transaction: the index the
// run rule reads by, built without blocking the kiosks' inserts.
QStringList indexStatements();

} // namespace alert
