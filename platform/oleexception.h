// The framework's exception family for automation failures: CException,
// COleException (a failed HRESULT) and COleDispatchException (a server's
// error report from Invoke).
//
// Exceptions are thrown by pointer, the way the application framework
// throws them: `throw new COleDispatchException(...)`. A handler catches
// `CException*` (or a derived pointer), looks at it, and calls Delete().
// Throwing by pointer lets one handler catch the whole family without
// slicing, and keeps the object alive across nested handlers; Delete() is
// the one place that frees it. These classes are only ever thrown and
// caught on the caller's side of an automation call: a server reports
// failures through HRESULTs and EXCEPINFO, never by throwing.
#pragma once

#include "platform/oleauto.h"

#include <cstddef>
#include <string>

class CException {
public:
    // autoDelete: Delete() frees the object. A handler of an exception
    // object that lives on the stack passes false.
    explicit CException(bool autoDelete = true);
    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;
    virtual ~CException();

    // Frees a heap exception after it has been handled. An exception
    // object on the stack (as CreateDispatch's error report usually is) is
    // left alone, so a handler that calls Delete() on whatever it caught
    // cannot free memory it does not own.
    void Delete();

    // Heap exceptions are allocated here, which is how Delete() tells them
    // from objects on the stack or inside other objects.
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;

    // The text to show a person; empty when there is none.
    virtual std::string GetErrorMessage() const;
    // Framework form: copies the text, truncated and NUL-terminated, into a
    // caller buffer of maxChars bytes. False when there is no text.
    bool GetErrorMessage(char* buffer, UINT maxChars, UINT* helpContext = nullptr) const;

protected:
    bool m_bAutoDelete;

private:
    bool m_bOnHeap;
};

// A failed automation call that carries only a status code: a ProgID that
// is not registered, a call on a null dispatch pointer, a result of the
// wrong type, or a server's plain failure HRESULT.
class COleException : public CException {
public:
    explicit COleException(SCODE sc = S_OK);
    ~COleException() override;
    using CException::GetErrorMessage;
    std::string GetErrorMessage() const override;

    // A framework status code from an HRESULT (the two are the same here).
    static SCODE Process(const CException* e);

    SCODE m_sc;
};

// A failed call that the server described in EXCEPINFO.
class COleDispatchException : public CException {
public:
    COleDispatchException(const char* description, UINT helpId, WORD wCode);
    ~COleDispatchException() override;
    using CException::GetErrorMessage;
    std::string GetErrorMessage() const override;

    WORD m_wCode;
    std::string m_strDescription;  // 8-bit system code page
    DWORD m_dwHelpContext;
    std::string m_strHelpFile;
    std::string m_strSource;
    SCODE m_scError;  // the server's status code (EXCEPINFO scode)
};

[[noreturn]] void AfxThrowOleException(SCODE sc);

// Turns a failed Invoke into the matching exception and throws it. The
// strings of `info` are freed in every case (when hr is DISP_E_EXCEPTION
// they belong to the caller).
[[noreturn]] void ThrowInvokeFailure(HRESULT hr, EXCEPINFO* info);
