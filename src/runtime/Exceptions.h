#pragma once
// The exception classes shared by every subsystem, each carrying its message text.

#include <exception>
#include <string>

namespace kapto {

// Base of every exception the system raises; the message is what the user sees. Where a
// system call failed, its errno travels along, so that the user can be told the reason too.
class Exception : public std::exception
{
public:
    explicit Exception(std::string message, int systemError = 0)
        : m_message(std::move(message)), m_systemError(systemError)
    {}
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& Message() const { return m_message; }
    // The errno of the system call that failed; 0 when none did.
    int SystemError() const { return m_systemError; }
    // The class name as the message boxes and assignment errors name it.
    virtual const char* ClassName() const { return "Exception"; }

private:
    std::string m_message;
    int m_systemError;
};

#define KAPTO_DECLARE_EXCEPTION(Name, Base)                                                        \
    class Name : public Base                                                                       \
    {                                                                                              \
    public:                                                                                        \
        using Base::Base;                                                                          \
        const char* ClassName() const override { return #Name; }                                   \
    }

KAPTO_DECLARE_EXCEPTION(EInvalidGraphic, Exception);
KAPTO_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception);
KAPTO_DECLARE_EXCEPTION(EInvalidOperation, Exception);
KAPTO_DECLARE_EXCEPTION(EOutOfMemory, Exception);
KAPTO_DECLARE_EXCEPTION(EOutOfResources, EOutOfMemory);
KAPTO_DECLARE_EXCEPTION(EPictureTooLarge, EOutOfResources);
KAPTO_DECLARE_EXCEPTION(EConvertError, Exception);
KAPTO_DECLARE_EXCEPTION(EOSError, Exception);
KAPTO_DECLARE_EXCEPTION(EWin32Error, EOSError);
KAPTO_DECLARE_EXCEPTION(EStreamError, Exception);
KAPTO_DECLARE_EXCEPTION(EReadError, EStreamError);
KAPTO_DECLARE_EXCEPTION(EWriteError, EStreamError);
KAPTO_DECLARE_EXCEPTION(EFileStreamError, EStreamError);
KAPTO_DECLARE_EXCEPTION(EFOpenError, EFileStreamError);
KAPTO_DECLARE_EXCEPTION(EFCreateError, EFileStreamError);

// The text a user is shown for a failure: the message of the system's own exceptions, the
// out-of-memory message for a failed allocation, the description of any other standard one.
// Rethrows what is not a standard exception.
std::string FailureMessage(const std::exception_ptr& failure);

// A failure as the user is told of it: the message, and the system's reason ("Permission
// denied") when a system call failed, else empty.
struct TFailure
{
    std::string Message;
    std::string Reason;
    // "MESSAGE (REASON)", or the message alone: for a terminal.
    std::string OneLine() const { return Reason.empty() ? Message : Message + " (" + Reason + ")"; }
    // The reason on a line of its own below the message: for a window.
    std::string TwoLines() const { return Reason.empty() ? Message : Message + "\n" + Reason; }
};
TFailure DescribeFailure(const std::exception_ptr& failure);
// The system's text for an errno value.
std::string SystemReason(int error);

} // namespace kapto
