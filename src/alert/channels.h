#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Sending one message to a channel: a 企业微信 or 钉钉 group robot (HTTPS webhook, JSON body)
// or an SMTP server, all through libcurl.
namespace alert {

struct Channel
{
    QString name;
    QString type; // "wecom", "dingtalk", "smtp"
    QString url;
    QString secret;
    QString format = QStringLiteral("text");
    QString from;
    QStringList to;
};

// The outcome of one delivery: taken, or why not (in Chinese, never with a secret).
struct Delivery
{
    bool ok = false;
    QString error;
};

// The JSON body for a robot: {"msgtype":"text","text":{"content":...}}, or the markdown form
// (企业微信 {"markdown":{"content"}}, 钉钉 {"markdown":{"title","text"}}).
QByteArray robotBody(const Channel &channel, const QString &title, const QString &text);
// The 钉钉 signature of a timestamp (milliseconds): HMAC-SHA256 of "timestamp\nsecret" keyed
// with the secret, in base64 (not yet URL-encoded).
QString dingtalkSignature(const QString &secret, qint64 timestampMs);
// The webhook with &timestamp=...&sign=... (URL-encoded) appended.
QString dingtalkUrl(const QString &webhook, const QString &secret, qint64 timestampMs);
// The robot's answer: ok when the status is 200 and the JSON answer's errcode is 0.
Delivery robotAnswer(long status, const QByteArray &answer);

// Sends and waits at most timeoutMs for the answer. Robots: a POST of robotBody; the message
// counts as taken only when robotAnswer says so. SMTP: STARTTLS is required (smtp://) or TLS
// from the start (smtps://), the server's certificate verified; the message counts as taken
// when the server accepted it for every recipient.
Delivery deliver(const Channel &channel, const QString &title, const QString &text, int timeoutMs);

// The CA certificates (a PEM file) that mail servers' certificates are verified against; empty:
// the system's store. Applies to the deliveries that start after the call.
void setMailTrust(const QString &caFile);

// The mail as sent: headers and a UTF-8 body in base64.
QByteArray mailMessage(const Channel &channel, const QString &title, const QString &text,
                       const QString &date);

} // namespace alert
