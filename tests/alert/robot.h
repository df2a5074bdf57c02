#pragma once

// A stand-in for the 企业微信 and 钉钉 robots of the alert tests.
#include <QCryptographicHash>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

namespace {

using namespace Qt::StringLiterals;

const QString DingtalkSecret = u"SEC0123456789abcdef0123456789abcdef"_s;

// A stand-in for the 企业微信 and 钉钉 robots on 127.0.0.1: records each message, checks its
// JSON body and (under /dingtalk) recomputes the signature; answers as the test asks.
class Robot : public QObject
{
public:
    enum class Answer
    {
        Ok,
        Http500,
        Errcode310000,
        Silent
    };
    struct Message
    {
        QString path, content;
    };

    Robot()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, this,
                                 [this, socket] { read(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString url(const QString &path) const
    {
        return u"http://127.0.0.1:%1%2"_s.arg(m_server.serverPort()).arg(path);
    }
    Answer answer = Answer::Ok;
    QHash<QString, Answer> answers; // by path, before answer
    QList<Message> messages;
    QStringList problems;
    int refused = 0;

    // The alert numbers in the messages taken so far (a digest carries several).
    QList<qint64> numbers(const QString &pathPrefix = {}) const
    {
        static const QRegularExpression number(u"第 (\\d+) 号"_s);
        QList<qint64> list;
        for (const Message &m : messages) {
            if (!m.path.startsWith(pathPrefix))
                continue;
            for (auto it = number.globalMatch(m.content); it.hasNext();)
                list << it.next().captured(1).toLongLong();
        }
        return list;
    }

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QByteArray head = buffer.left(headerEnd);
        static const QRegularExpression length(u"(?i)content-length:\\s*(\\d+)"_s);
        const auto match = length.match(QString::fromLatin1(head));
        const qsizetype size = match.hasMatch() ? match.captured(1).toLongLong() : 0;
        if (buffer.size() < headerEnd + 4 + size)
            return;
        const QByteArray body = buffer.mid(headerEnd + 4, size);
        m_buffers.remove(socket);
        const QString target = QString::fromLatin1(head.split(' ').value(1));
        const QUrl url(u"http://x"_s + target);
        const Answer given = answers.value(url.path(), answer);
        if (given == Answer::Silent) {
            ++refused;
            return; // never answers: the service's time-out
        }
        if (given != Answer::Ok) {
            ++refused;
            reply(socket, given == Answer::Http500 ? 500 : 200,
                  given == Answer::Http500 ? "{}"
                                           : R"({"errcode":310000,"errmsg":"sign not match"})");
            return;
        }
        const QJsonObject json = QJsonDocument::fromJson(body).object();
        const QString type = json.value(u"msgtype"_s).toString();
        QString content;
        if (type == u"text"_s)
            content = json[u"text"_s].toObject()[u"content"_s].toString();
        else if (type == u"markdown"_s)
            content =
                json[u"markdown"_s]
                    .toObject()[url.path().startsWith(u"/dingtalk"_s) ? u"text"_s : u"content"_s]
                    .toString();
        if (content.isEmpty())
            problems << u"no content in %1"_s.arg(QString::fromUtf8(body));
        if (url.path().startsWith(u"/dingtalk"_s)) {
            const QUrlQuery query(url);
            const QByteArray timestamp = query.queryItemValue(u"timestamp"_s).toLatin1();
            const QByteArray sign = QByteArray::fromPercentEncoding(
                query.queryItemValue(u"sign"_s, QUrl::FullyEncoded).toLatin1());
            const QByteArray expected = QMessageAuthenticationCode::hash(
                                            timestamp + '\n' + DingtalkSecret.toUtf8(),
                                            DingtalkSecret.toUtf8(), QCryptographicHash::Sha256)
                                            .toBase64();
            if (timestamp.isEmpty() || sign != expected) {
                problems << u"bad signature %1"_s.arg(QString::fromLatin1(sign));
                reply(socket, 200, R"({"errcode":310000,"errmsg":"sign not match"})");
                return;
            }
            if (url.path().startsWith(u"/dingtalk"_s) && type == u"markdown"_s &&
                json[u"markdown"_s].toObject()[u"title"_s].toString().isEmpty())
                problems << u"markdown without title"_s;
        }
        messages.append({url.path() + u" "_s + type, content});
        reply(socket, 200, R"({"errcode":0,"errmsg":"ok"})");
    }
    static void reply(QTcpSocket *socket, int status, const QByteArray &body)
    {
        socket->write("HTTP/1.1 " + QByteArray::number(status) +
                      (status == 200 ? " OK" : " Internal Server Error") +
                      "\r\nContent-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

} // namespace
