#pragma once
// Builds the page snapshot (platform/BrowserSnapshot.md) of a fetched page, as
// a browser-side script would describe it: links with their visible text,
// pictures, the html element's markup, the frames and the title.
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <vector>

namespace kestrio {

// One parsed document.
struct ParsedPage {
    QJsonObject Document;           // title, links, images, all
    std::vector<QString> FrameURLs; // absolute, in document order
};

// Text of a fetched body: UTF-8 when the header or the markup says so or when
// it is valid UTF-8, Windows-1252 otherwise.
QString DecodeBody(const QByteArray& body, const QString& contentType);

// Parses html fetched from url. Addresses are made absolute against the
// page's <base href> or url; the markup of the html element keeps them as
// written, as the browser's outerHTML does.
ParsedPage ParsePage(const QString& html, const QString& url);

} // namespace kestrio
