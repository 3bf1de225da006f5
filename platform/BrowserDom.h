#pragma once
// The browser's scriptable page objects as late-bound values: properties and
// methods are reached by name, as a script or an automation client reaches
// them. The objects are built from a page snapshot (BrowserSnapshot.md) that a
// browser-side script hands over.
//
// Objects and their names (compared without regard to ASCII case, as the
// browser's dispatch does; "Links" and "links", "URL" and "Url" are the same):
//   window:     parent, document, frames, location
//   frames:     length, Item(index)           -> window
//   document:   location, Title, URL (Url), links (Links), Images, all, selection
//   location:   href (read and assigned); its string value is href
//   links:      length, Item(index)           -> link {href, innerText}
//   Images:     length, Item(index)           -> image {src}
//   all:        length, Item(index[, sub])    -> element {tagName, outerHTML}
//   selection:  createRange()                 -> text range {text}
// Item beyond the end gives a null value (as the browser does); any use of a
// null value throws, naming the property that gave it.
//
// Methods and properties share one namespace: Get(name) is Call(name) without
// arguments, so Get("createRange") works as a late-bound call does.
//
// Texts are Windows-1252 bytes.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Raised by the page objects. Property() is the name as the caller wrote it.
class DomError : public std::runtime_error {
public:
    DomError(std::string property, const std::string& message);
    const std::string& Property() const { return property_; }

private:
    std::string property_;
};

// A snapshot that cannot be read (not JSON, wrong version, wrong field types).
class SnapshotError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class DomObject;

class DomValue {
public:
    enum class Kind { Null, Integer, String, Object };

    DomValue() = default;
    DomValue(int v) : kind_(Kind::Integer), int_(v) {}
    DomValue(int64_t v) : kind_(Kind::Integer), int_(v) {}
    DomValue(std::string cp1252) : kind_(Kind::String), str_(std::move(cp1252)) {}
    DomValue(const char* cp1252) : kind_(Kind::String), str_(cp1252) {}
    explicit DomValue(std::shared_ptr<DomObject> obj);
    // A null value that remembers which property produced it.
    static DomValue NullFrom(std::string origin);

    Kind GetKind() const { return kind_; }
    bool IsNull() const { return kind_ == Kind::Null; }
    bool IsObject() const { return kind_ == Kind::Object; }

    // Late-bound access. Throw DomError on a non-object, a missing name, a
    // refused document or a wrong argument.
    DomValue Get(std::string_view name) const;
    DomValue Call(std::string_view name, const std::vector<DomValue>& args = {}) const;
    void Set(std::string_view name, const DomValue& value) const;

    // String value: a string as is, an integer in decimal, an object by its
    // default property (a location gives its href). Throws DomError otherwise.
    std::string ToString() const;
    // Integer value: an integer, or a string holding a decimal integer.
    int64_t ToInteger() const;

    // The addresses assigned to location.href, oldest first, of this location
    // or of the location of this window or document. Assigning does not change
    // what href reads: the snapshot stays the page as it was handed over.
    std::vector<std::string> AssignedHrefs() const;

    // True when both are the same object (parent of a top window is itself).
    bool SameObject(const DomValue& other) const;

private:
    Kind kind_ = Kind::Null;
    int64_t int_ = 0;
    std::string str_; // string value, or the origin of a null
    std::shared_ptr<DomObject> obj_;
};

// Builds the objects from a snapshot (UTF-8 JSON) and returns the window that
// was handed over (the snapshot's active frame, the top window by default).
// Throws SnapshotError.
DomValue LoadBrowserSnapshot(const QByteArray& json);
DomValue LoadBrowserSnapshotFile(const QString& path);

} // namespace platform
