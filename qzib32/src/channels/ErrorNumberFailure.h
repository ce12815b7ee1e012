#pragma once

#include <exception>

namespace qzib {

// A failure that carries an error number: the socket layer's (Winsock numbering) or the
// system's. Only the exported functions catch it and turn it into a status.
class ErrorNumberFailure : public std::exception {
public:
    explicit ErrorNumberFailure(int number) : m_number(number) {}
    int number() const noexcept { return m_number; }
    const char* what() const noexcept override { return "socket layer error"; }

private:
    int m_number;
};

}  // namespace qzib
