#include "platform/HttpClient.h"

#include "platform/Cp1252.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace platform {

namespace {

std::string OriginOf(const QUrl& u) {
    return (u.scheme().toLower() + "://" + u.host().toLower() + ":" +
            QString::number(u.port(u.scheme().toLower() == "https" ? 443 : 80)))
        .toStdString();
}

bool IsHttpScheme(const QUrl& u) {
    const QString s = u.scheme().toLower();
    return (s == "http" || s == "https") && !u.host().isEmpty();
}

} // namespace

HttpClient::HttpClient(QObject* parent) : QObject(parent), nam_(new QNetworkAccessManager(this)) {
    nam_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    connectTimer_.setSingleShot(true);
    connect(&connectTimer_, &QTimer::timeout, this, [this] {
        DropReply();
        Fail("The connection to the server timed out.");
    });
}

HttpClient::~HttpClient() {
    DropReply();
}

void HttpClient::SetURL(const std::string& url) {
    QUrl u(Cp1252ToQString(url), QUrl::TolerantMode);
    if (!u.isValid() || !IsHttpScheme(u))
        throw HttpClientError("The URL does not use a recognized protocol: " + url);
    url_ = url;
    qurl_ = u;
}

void HttpClient::SetCredentials(const std::string& user, const std::string& password) {
    user_ = user;
    password_ = password;
}

void HttpClient::Start() {
    if (qurl_.isEmpty()) throw HttpClientError("No URL has been set.");
    DropReply();
    ++generation_;
    authRepeats_ = 0;
    redirects_ = 0;
    body_.clear();
    headerLines_.clear();
    status_ = 0;
    errorText_.clear();
    Send();
}

void HttpClient::Cancel() {
    ++generation_;
    DropReply();
}

void HttpClient::DropReply() {
    connectTimer_.stop();
    if (!reply_) return;
    QNetworkReply* r = reply_;
    reply_ = nullptr;
    r->disconnect(this);
    r->abort();
    r->deleteLater();
}

void HttpClient::Send() {
    QNetworkRequest req(qurl_);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Header names must reach IsTextResponse as the server wrote them.
    req.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    req.setRawHeader("User-Agent", QByteArray::fromStdString(UserAgent));
    if (!user_.empty() && OriginOf(qurl_) == authOrigin_) {
        const QByteArray pair = QByteArray::fromStdString(user_ + ":" + password_);
        req.setRawHeader("Authorization", "Basic " + pair.toBase64());
    }
    reply_ = nam_->get(req);
    QNetworkReply* r = reply_;
    connect(r, &QNetworkReply::requestSent, this, [this] { connectTimer_.stop(); });
    connect(r, &QNetworkReply::finished, this, [this, r] { Finished(r); });
    if (ConnectTimeoutMs > 0) connectTimer_.start(ConnectTimeoutMs);
}

void HttpClient::Fail(const std::string& message) {
    errorText_ = message;
    if (OnFailed) OnFailed(message);
}

void HttpClient::Finished(QNetworkReply* r) {
    if (r != reply_) return;
    connectTimer_.stop();
    reply_ = nullptr;
    r->deleteLater();
    r->disconnect(this);

    const QVariant statusAttr = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusAttr.isValid() || statusAttr.toInt() <= 0) {
        Fail(r->errorString().toStdString());
        return;
    }
    const int status = statusAttr.toInt();
    const unsigned gen = generation_;

    if (status == 401) {
        authOrigin_ = OriginOf(qurl_);
        if (OnNeedAuth) OnNeedAuth();
        if (gen != generation_) return; // the handler cancelled or started anew
        if (authRepeats_ >= AuthAttempts) {
            Fail("The server refused the credentials.");
            return;
        }
        ++authRepeats_;
        Send();
        return;
    }

    if (status >= 300 && status < 400 && status != 304 && r->hasRawHeader("Location")) {
        const QUrl target = qurl_.resolved(QUrl::fromEncoded(r->rawHeader("Location")));
        if (!IsHttpScheme(target)) {
            Fail("The server redirected to an address that is not http or https.");
            return;
        }
        if (++redirects_ > MaxRedirects) {
            Fail("Too many redirections.");
            return;
        }
        qurl_ = target;
        url_ = QStringToCp1252(target.toString(QUrl::FullyEncoded));
        if (OnRedirect) OnRedirect(url_);
        if (gen != generation_) return;
        Send();
        return;
    }

    status_ = status;
    body_ = r->readAll();
    headerLines_.clear();
    for (const auto& [name, value] : r->rawHeaderPairs())
        headerLines_.push_back((name + ": " + value).toStdString());
    if (OnRequestComplete) OnRequestComplete();
}

} // namespace platform
