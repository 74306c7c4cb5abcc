#pragma once
// The exception classes shared by every subsystem, each carrying its message text.

#include <exception>
#include <string>

namespace kapto {

// Base of every exception the system raises; the message is what the user sees.
class Exception : public std::exception
{
public:
    explicit Exception(std::string message) : m_message(std::move(message)) {}
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& Message() const { return m_message; }
    // The class name as the message boxes and assignment errors name it.
    virtual const char* ClassName() const { return "Exception"; }

private:
    std::string m_message;
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

} // namespace kapto
