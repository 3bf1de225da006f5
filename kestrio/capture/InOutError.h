#pragma once
// The input/output error that reading or writing a capture file raises. It
// reaches the caller; the message names the file and the system's reason.
#include <stdexcept>
#include <string>

namespace kestrio {

class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace kestrio
