#include "alert/channels.h"

#include "alert/alertoptions.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QUrl>
#include <QUuid>

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <mutex>
#include <shared_mutex>

using namespace Qt::StringLiterals;

namespace alert {

namespace {

void initCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The CA certificates that mail servers' certificates are checked against: a file given to the
// service, or (empty) the system's store.
std::shared_mutex trustMutex;
QByteArray trustFile;

size_t collect(char *data, size_t size, size_t count, void *target)
{
    static_cast<QByteArray *>(target)->append(data, qsizetype(size * count));
    return size * count;
}

struct Upload
{
    QByteArray data;
    qsizetype offset = 0;
};

size_t supply(char *buffer, size_t size, size_t count, void *source)
{
    auto *upload = static_cast<Upload *>(source);
    const size_t length = std::min(size * count, size_t(upload->data.size() - upload->offset));
    memcpy(buffer, upload->data.constData() + upload->offset, length);
    upload->offset += qsizetype(length);
    return length;
}

QString curlProblem(CURLcode code, const char *detail)
{
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return u"超时，没有应答"_s;
    case CURLE_COULDNT_CONNECT:
        return u"无法连接"_s;
    case CURLE_COULDNT_RESOLVE_HOST:
        return u"找不到主机"_s;
    case CURLE_LOGIN_DENIED:
        return u"邮件服务器拒绝登录"_s;
    case CURLE_USE_SSL_FAILED:
        return u"邮件服务器不支持 STARTTLS，邮件未以明文发送"_s;
    case CURLE_PEER_FAILED_VERIFICATION:
        return u"邮件服务器的证书未通过验证（%1）"_s.arg(QString::fromUtf8(detail).left(200));
    case CURLE_SSL_CACERT_BADFILE:
        return u"无法读取受信任的证书文件"_s;
    case CURLE_SSL_CONNECT_ERROR:
        return u"与邮件服务器的 TLS 握手失败（%1）"_s.arg(QString::fromUtf8(detail).left(200));
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return u"连接中断"_s;
    default:
        break;
    }
    const QString text = QString::fromUtf8(detail).trimmed();
    return u"发送失败（%1）"_s.arg(text.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code))
                                                  : text.left(200));
}

struct Easy
{
    CURL *handle = nullptr;
    curl_slist *list = nullptr;
    char error[CURL_ERROR_SIZE] = {};
    Easy()
    {
        initCurl();
        handle = curl_easy_init();
        curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error);
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    }
    ~Easy()
    {
        curl_slist_free_all(list);
        curl_easy_cleanup(handle);
    }
};

Delivery postRobot(const Channel &channel, const QString &title, const QString &text, int timeoutMs)
{
    const QString url =
        channel.type == u"dingtalk"_s
            ? dingtalkUrl(channel.url, channel.secret, QDateTime::currentMSecsSinceEpoch())
            : channel.url;
    const QByteArray address = url.toUtf8();
    const QByteArray body = robotBody(channel, title, text);
    QByteArray answer;
    Easy easy;
    easy.list = curl_slist_append(easy.list, "Content-Type: application/json; charset=utf-8");
    curl_easy_setopt(easy.handle, CURLOPT_URL, address.constData());
    curl_easy_setopt(easy.handle, CURLOPT_HTTPHEADER, easy.list);
    curl_easy_setopt(easy.handle, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(easy.handle, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(easy.handle, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(easy.handle, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(easy.handle, CURLOPT_TIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(easy.handle, CURLOPT_CONNECTTIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(easy.handle, CURLOPT_PROTOCOLS_STR, "http,https");
    const CURLcode code = curl_easy_perform(easy.handle);
    if (code != CURLE_OK)
        return {false, curlProblem(code, easy.error)};
    long status = 0;
    curl_easy_getinfo(easy.handle, CURLINFO_RESPONSE_CODE, &status);
    return robotAnswer(status, answer);
}

Delivery sendMail(const Channel &channel, const QString &title, const QString &text, int timeoutMs)
{
    const QByteArray address = channel.url.toUtf8();
    const QByteArray from = u"<%1>"_s.arg(channel.from).toUtf8();
    Easy easy;
    for (const QString &to : channel.to)
        easy.list = curl_slist_append(easy.list, u"<%1>"_s.arg(to).toUtf8().constData());
    Upload upload{mailMessage(
        channel, title, text,
        QLocale::c().toString(QDateTime::currentDateTime(), u"ddd, dd MMM yyyy HH:mm:ss t"_s))};
    curl_easy_setopt(easy.handle, CURLOPT_URL, address.constData());
    curl_easy_setopt(easy.handle, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(easy.handle, CURLOPT_MAIL_RCPT, easy.list);
    // smtp:// must switch to TLS with STARTTLS before anything else is sent (a server that does
    // not offer it gets nothing); smtps:// is TLS from the start. Either way the server's
    // certificate and name are verified, against the trusted file or the system's store.
    curl_easy_setopt(easy.handle, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    curl_easy_setopt(easy.handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy.handle, CURLOPT_SSL_VERIFYHOST, 2L);
    const QByteArray trust = [] {
        const std::shared_lock lock(trustMutex);
        return trustFile;
    }();
    if (!trust.isEmpty())
        curl_easy_setopt(easy.handle, CURLOPT_CAINFO, trust.constData());
    curl_easy_setopt(easy.handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy.handle, CURLOPT_READFUNCTION, supply);
    curl_easy_setopt(easy.handle, CURLOPT_READDATA, &upload);
    curl_easy_setopt(easy.handle, CURLOPT_TIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(easy.handle, CURLOPT_CONNECTTIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(easy.handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    const CURLcode code = curl_easy_perform(easy.handle);
    if (code == CURLE_OK)
        return {true, {}};
    long status = 0;
    curl_easy_getinfo(easy.handle, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400)
        return {false, u"邮件服务器拒收（%1）"_s.arg(status)};
    return {false, curlProblem(code, easy.error)};
}

QByteArray encodedWord(const QString &text)
{
    return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
}

} // namespace

void setMailTrust(const QString &caFile)
{
    const std::unique_lock lock(trustMutex);
    trustFile = caFile.toLocal8Bit();
}

QByteArray robotBody(const Channel &channel, const QString &title, const QString &text)
{
    QJsonObject message;
    if (channel.format == u"markdown"_s) {
        message[u"msgtype"_s] = u"markdown"_s;
        QJsonObject markdown;
        if (channel.type == u"dingtalk"_s) {
            markdown[u"title"_s] = title;
            markdown[u"text"_s] = text;
        } else {
            markdown[u"content"_s] = text;
        }
        message[u"markdown"_s] = markdown;
    } else {
        message[u"msgtype"_s] = u"text"_s;
        message[u"text"_s] = QJsonObject{{u"content"_s, text}};
    }
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

QString dingtalkSignature(const QString &secret, qint64 timestampMs)
{
    const QByteArray key = secret.toUtf8();
    const QByteArray data = QByteArray::number(timestampMs) + '\n' + key;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.constData(), int(key.size()),
         reinterpret_cast<const unsigned char *>(data.constData()), size_t(data.size()), digest,
         &length);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(digest), int(length)).toBase64());
}

QString dingtalkUrl(const QString &webhook, const QString &secret, qint64 timestampMs)
{
    const QString sign =
        QString::fromLatin1(QUrl::toPercentEncoding(dingtalkSignature(secret, timestampMs)));
    return webhook + (webhook.contains(u'?') ? u'&' : u'?') +
           u"timestamp=%1&sign=%2"_s.arg(timestampMs).arg(sign);
}

Delivery robotAnswer(long status, const QByteArray &answer)
{
    if (status != 200)
        return {false, u"机器人返回 HTTP %1"_s.arg(status)};
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(answer, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject() ||
        !document.object().contains(u"errcode"_s))
        return {false, u"机器人的应答无法识别"_s};
    const QJsonObject object = document.object();
    const int errcode = object.value(u"errcode"_s).toInt(-1);
    if (errcode != 0)
        return {false, u"机器人拒绝：errcode %1 %2"_s.arg(errcode).arg(
                           object.value(u"errmsg"_s).toString().left(200))};
    return {true, {}};
}

QByteArray mailMessage(const Channel &channel, const QString &title, const QString &text,
                       const QString &date)
{
    QByteArray mail;
    mail += "Date: " + date.toUtf8() + "\r\n";
    mail += "From: " + channel.from.toUtf8() + "\r\n";
    mail += "To: " + channel.to.join(u", "_s).toUtf8() + "\r\n";
    mail += "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() +
            "@kiosk-alert>\r\n";
    mail += "Subject: " + encodedWord(title) + "\r\n";
    mail += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\n";
    const QByteArray body = text.toUtf8().toBase64();
    for (qsizetype i = 0; i < body.size(); i += 76)
        mail += body.mid(i, 76) + "\r\n";
    return mail;
}

Delivery deliver(const Channel &channel, const QString &title, const QString &text, int timeoutMs)
{
    Delivery result = channel.type == u"smtp"_s ? sendMail(channel, title, text, timeoutMs)
                                                : postRobot(channel, title, text, timeoutMs);
    // A library message may quote the address: never show a robot's key.
    for (const QString &secret : {channel.url, channel.secret})
        if (!secret.isEmpty())
            result.error.replace(secret, maskedUrl(secret));
    return result;
}

} // namespace alert
