#pragma once
// Asynchronous HTTP client for one address at a time, over Qt Network.
//
// Contract:
// - SetURL accepts http and https only and throws HttpClientError otherwise.
// - Start returns at once; the outcome arrives as one of the notifications
//   below, always on the main thread and from the event loop, never from
//   inside Start. The client waits for each handler to return before it goes
//   on, so a handler may run a modal dialog, set credentials, cancel, or point
//   the client at a new address and start it again.
// - OnRequestComplete: the whole body has been received, whatever the status.
// - OnRedirect: the server sent the request elsewhere; the new address is
//   followed after the handler returns.
// - OnNeedAuth: the server answered 401. After the handler returns the request
//   is repeated with the credentials set at that time; at most AuthAttempts
//   repetitions, and a 401 after the last one ends the request without a
//   completion (the handler has then run AuthAttempts + 1 times).
// - OnFailed: the request ended without a usable response (name resolution,
//   connection, connect time-out, certificate error, refused redirect,
//   authentication attempts used up). Callers may ignore it.
// - Cancel: no notification at all follows for the cancelled request.
// Certificates are always checked: a certificate error is a failure.
#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace platform {

class HttpClientError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class HttpClient : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kDefaultUserAgent = "Tamrisk Kestrio        ";

    explicit HttpClient(QObject* parent = nullptr);
    ~HttpClient() override;

    // Address in Windows-1252 or ASCII; throws HttpClientError for anything
    // but an absolute http or https address.
    void SetURL(const std::string& url);
    const std::string& URL() const { return url_; }

    void Start();
    void Cancel();
    bool Busy() const { return reply_ != nullptr; }

    // Used from the next attempt on (Basic authentication).
    void SetCredentials(const std::string& user, const std::string& password);

    // Settings.
    int ConnectTimeoutMs = 5000;
    std::string UserAgent = kDefaultUserAgent;
    int AuthAttempts = 3;
    int MaxRedirects = 20;

    // The last completed response.
    const QByteArray& Body() const { return body_; }
    // "Name: value" lines as the server wrote them, after the status line.
    const std::vector<std::string>& HeaderLines() const { return headerLines_; }
    int StatusCode() const { return status_; }
    // Text of the last failure.
    const std::string& ErrorText() const { return errorText_; }

    std::function<void()> OnRequestComplete;
    std::function<void(const std::string& newUrl)> OnRedirect;
    std::function<void()> OnNeedAuth;
    std::function<void(const std::string& message)> OnFailed;

private:
    void Send();
    void Finished(QNetworkReply* reply);
    void Fail(const std::string& message);
    void DropReply();

    QNetworkAccessManager* nam_;
    QNetworkReply* reply_ = nullptr;
    QTimer connectTimer_;
    QUrl qurl_;
    std::string url_;
    std::string user_, password_;
    std::string authOrigin_; // where the credentials were asked for
    int authRepeats_ = 0;
    int redirects_ = 0;
    unsigned generation_ = 0; // changes with every Start and Cancel
    QByteArray body_;
    std::vector<std::string> headerLines_;
    int status_ = 0;
    std::string errorText_;
};

} // namespace platform
