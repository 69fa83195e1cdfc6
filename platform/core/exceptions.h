// Exceptions of the class-library layer: the base Exception and the errors that lists, streams,
// conversions, files, settings stores and threads raise.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception
{
public:
    explicit Exception(std::string Msg = std::string()) : FMessage(std::move(Msg)) {}

    const std::string& Message() const noexcept { return FMessage; }
    void SetMessage(std::string Msg) { FMessage = std::move(Msg); }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

// Raised by Abort(): a silent exception that ends an operation without an error message.
class EAbort : public Exception
{
public:
    explicit EAbort(std::string Msg = "Operation aborted") : Exception(std::move(Msg)) {}
};

class EOutOfMemory : public Exception
{
public:
    explicit EOutOfMemory(std::string Msg = "Out of memory") : Exception(std::move(Msg)) {}
};

// A failed operating-system file call; ErrorCode holds the errno value.
class EInOutError : public Exception
{
public:
    EInOutError(std::string Msg, int Code) : Exception(std::move(Msg)), ErrorCode(Code) {}
    int ErrorCode = 0;
};

class EConvertError : public Exception
{
public:
    using Exception::Exception;
};

// A typecast to a class the object is not of.
class EInvalidCast : public Exception
{
public:
    explicit EInvalidCast(std::string Msg = "Invalid class typecast") : Exception(std::move(Msg)) {}
};

class EAbstractError : public Exception
{
public:
    explicit EAbstractError(std::string Msg = "Abstract Error") : Exception(std::move(Msg)) {}
};

class EListError : public Exception
{
public:
    using Exception::Exception;
};

class EStringListError : public EListError
{
public:
    using EListError::EListError;
};

class EComponentError : public Exception
{
public:
    using Exception::Exception;
};

class EStreamError : public Exception
{
public:
    using Exception::Exception;
};

class EReadError : public EStreamError
{
public:
    explicit EReadError(std::string Msg = "Stream read error") : EStreamError(std::move(Msg)) {}
};

class EWriteError : public EStreamError
{
public:
    explicit EWriteError(std::string Msg = "Stream write error") : EStreamError(std::move(Msg)) {}
};

class EFCreateError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

class EFOpenError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

class EIniFileException : public Exception
{
public:
    using Exception::Exception;
};

class ERegistryException : public Exception
{
public:
    using Exception::Exception;
};

class EThread : public Exception
{
public:
    using Exception::Exception;
};

// Raises EAbort.
[[noreturn]] void Abort();
