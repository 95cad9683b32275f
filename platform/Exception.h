#pragma once
// The one base of every exception of the program. Messages are UTF-8 text meant for
// the user; units derive their own classes from it (in a namespace per unit where two
// units use the same class name).
#include <exception>
#include <string>

namespace qm {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }

private:
    std::string message_;
};

// Every user abort of every unit derives from this one class, so that the user
// interface can tell an abort from a failure whatever unit raised it.
class EAbortOperation : public Exception {
public:
    EAbortOperation();
    explicit EAbortOperation(std::string message) : Exception(std::move(message)) {}
};

// Whether error is a user's cancel (an EAbortOperation of any unit).
bool IsAbortError(std::exception_ptr error);

// Declares a class derived from Base that only carries a message.
#define QM_DECLARE_EXCEPTION(Name, Base)                                  \
    class Name : public Base {                                            \
    public:                                                               \
        explicit Name(std::string message) : Base(std::move(message)) {} \
    }

// Same, for abort classes: the default message is the translated "Operation aborted.".
#define QM_DECLARE_ABORT(Name, Base)                                       \
    class Name : public Base {                                             \
    public:                                                                \
        Name() = default;                                                  \
        explicit Name(std::string message) : Base(std::move(message)) {}  \
    }

}  // namespace qm
