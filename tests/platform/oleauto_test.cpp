// The automation runtime seen from both sides: COleVariant, per-thread COM
// entry, and COleDispatchDriver's creation by ProgID, the argument kinds
// and results Kestrel's calls do not show, and the exceptions a failed call
// turns into. Kestrel's and the search run's tests hold the rest.
#include "platform/codepage.h"
#include "platform/oleauto.h"
#include "platform/oledispatchdriver.h"
#include "platform/oleexception.h"
#include "platform/olethread.h"
#include "platform/olevariant.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// A server whose Invoke is whatever the test needs (by default: S_OK).
class TestServer : public CDispatchObject {
public:
    using Handler = std::function<HRESULT(DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*)>;
    explicit TestServer(Handler handler = nullptr) : m_handler(std::move(handler)) {}
    HRESULT Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT*) override
    {
        return m_handler ? m_handler(id, flags, params, result, info) : S_OK;
    }
    using CDispatchObject::ReportError;

private:
    Handler m_handler;
};

// The code of the automation exception `call` threw (deleting it), or S_OK.
template <class F>
HRESULT Thrown(F call)
{
    try {
        call();
    } catch (CException* e) {
        const HRESULT hr = COleException::Process(e);
        e->Delete();
        return hr;
    }
    return S_OK;
}

// Counts live objects around each test: nothing may leak.
class OleAutoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        m_start = CDispatchObject::LiveObjects();
    }
    void TearDown() override
    {
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_start) << "an automation object leaked";
        CoUninitialize();
    }
    long Live() const { return CDispatchObject::LiveObjects() - m_start; }
    long m_start = 0;
};

TEST_F(OleAutoTest, OleVariantHoldsEachTypeAndCopiesWithoutSharing)
{
    // Kestrel's calls show the booleans, shorts, longs and missing
    // arguments it makes; a short made a boolean is VARIANT_TRUE.
    COleVariant flag(static_cast<SHORT>(5), VT_BOOL);
    EXPECT_EQ(flag.boolVal, VARIANT_TRUE);
    EXPECT_NE(Thrown([] { COleVariant bad(static_cast<LONG>(70000), VT_I2); }), S_OK) << "70000 does not fit VT_I2";

    // 8-bit text is converted through the code page; bytes that are not
    // UTF-8 survive the round trip, as a path must.
    const std::string path = "/tmp/r\xc3\xa9sum\xe9.doc";
    COleVariant text(path.c_str());
    EXPECT_EQ(text.vt, VT_BSTR);
    EXPECT_EQ(text.Text(), AnsiToWide(path));
    EXPECT_EQ(WideToAnsi(BstrView(text.bstrVal)), path);
    EXPECT_EQ(COleVariant(static_cast<const char*>(nullptr)).Text(), u"");

    COleVariant a("one");
    COleVariant b(a);
    EXPECT_NE(a.bstrVal, b.bstrVal) << "a copy owns its own text";
    COleVariant& self = b;
    b = self;  // assigning a variant to itself keeps its value
    EXPECT_EQ(b.Text(), u"one");
}

// COM entry is counted per thread, and creation needs it on the calling
// thread.
TEST_F(OleAutoTest, CreationByProgIdAndReferenceOwnership)
{
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);  // the fixture entered once already
    CoUninitialize();
    EXPECT_TRUE(IsComInitialized());
    COleDispatchDriver driver;
    COleException error;
    EXPECT_FALSE(driver.CreateDispatch("Nobody.Application", &error));
    EXPECT_EQ(error.m_sc, REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(driver.CreateDispatch(nullptr));
    RegisterServer("Test.Application", [] { return static_cast<IDispatch*>(new TestServer()); });
    EXPECT_TRUE(driver.CreateDispatch("Test.Application"));
    EXPECT_TRUE(driver.CreateDispatch("Test.Application"));  // replaces the object held
    EXPECT_EQ(Live(), 1);
    driver.ReleaseDispatch();
    std::thread([] {
        COleDispatchDriver d;
        COleException e;
        EXPECT_FALSE(d.CreateDispatch("Test.Application", &e));
        EXPECT_EQ(e.m_sc, CO_E_NOTINITIALIZED);
        CoUninitialize();  // unbalanced: harmless
        EXPECT_TRUE(AfxOleInit());
        EXPECT_TRUE(AfxOleInit());
        EXPECT_TRUE(d.CreateDispatch("Test.Application"));
    }).join();
    UnregisterServer("Test.Application");

    // A copied driver holds its own reference; a borrowed one gives none back.
    auto* server = new TestServer();
    {
        COleDispatchDriver owner, borrower;
        owner.AttachDispatch(server);  // takes the creation reference
        COleDispatchDriver copy(owner);
        borrower.AttachDispatch(server, false);
        borrower.ReleaseDispatch();
        EXPECT_EQ(Live(), 1);
    }
}

// The argument kinds Kestrel's calls do not show: an object, a variant by
// value (which stays the caller's) and by reference (which the server may
// write), and a short as VT_I2.
TEST_F(OleAutoTest, InvokeHelperPassesObjectsAndVariants)
{
    auto* other = new TestServer();
    COleDispatchDriver driver(new TestServer([&](DISPID id, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*) {
        EXPECT_EQ(id, 0x42);
        CDispArgs args(params);
        std::u16string text;
        long n = 0;
        EXPECT_TRUE(args.GetLong(0, n) && n == -3 && args.At(0)->vt == VT_I2);
        EXPECT_TRUE(args.GetString(1, text) && text == u"by value");
        VARIANT* out = params->rgvarg[0].pvarVal;  // the last argument, by reference
        VariantClear(out);
        out->vt = VT_I4;
        out->lVal = 99;
        EXPECT_EQ(args.At(2)->pdispVal, static_cast<IDispatch*>(other));
        return S_OK;
    }));
    COleVariant byValue("by value"), byRef("before");
    driver.InvokeHelper<void>(0x42, DISPATCH_METHOD, static_cast<short>(-3), byValue, static_cast<IDispatch*>(other),
                              &byRef);
    EXPECT_TRUE(byRef.vt == VT_I4 && byRef.lVal == 99);
    EXPECT_EQ(byValue.Text(), u"by value");
    other->Release();
}

TEST_F(OleAutoTest, InvokeHelperConvertsResults)
{
    COleVariant answer;
    COleDispatchDriver driver(new TestServer([&](DISPID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*) {
        EXPECT_NE(result, nullptr);
        return VariantCopy(result, &answer);
    }));
    // Kestrel's calls show a boolean read as such, a VT_I4 count and an
    // empty answer read as a null object.
    answer = COleVariant(static_cast<SHORT>(1), VT_BOOL);
    EXPECT_EQ(driver.GetProperty<LONG>(1), 1) << "a VT_BOOL result is 1, not VARIANT_TRUE";
    answer = COleVariant(static_cast<SHORT>(-4));
    EXPECT_EQ(driver.GetProperty<LONG>(1), -4);
    answer.vt = VT_R8;
    answer.dblVal = 3.9;
    EXPECT_EQ(driver.GetProperty<LONG>(1), 3);
    answer.dblVal = 1e12;
    EXPECT_EQ(Thrown([&] { driver.GetProperty<LONG>(1); }), DISP_E_OVERFLOW);
    // A returned object belongs to the caller, one reference.
    auto* object = new TestServer();
    answer = COleVariant(object, false);  // the creation reference
    IDispatch* got = driver.GetProperty<IDispatch*>(1);
    EXPECT_EQ(got, static_cast<IDispatch*>(object));
    got->Release();
    EXPECT_EQ(Live(), 2);
    // An object where a number was expected is a type mismatch, and the
    // object it returned is released, not leaked.
    EXPECT_EQ(Thrown([&] { driver.GetProperty<LONG>(1); }), DISP_E_TYPEMISMATCH);
}

TEST_F(OleAutoTest, FailedCallsBecomeExceptionsOnTheCallersSide)
{
    HRESULT plain = S_OK;
    COleDispatchDriver driver(new TestServer([&](DISPID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO* info) {
        if (plain != S_OK) return plain;
        // A failing server may leave something in the result; it is freed.
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringFrom(u"partial");
        return TestServer::ReportError(info, u"Test server", u"The document is damaged",
                                       static_cast<SCODE>(0x800A1066u));
    }));
    EXPECT_EQ(Thrown([&] { driver.InvokeHelper<IDispatch*>(0xF, DISPATCH_METHOD, "a.doc"); }),
              static_cast<SCODE>(0x800A1066u));
    // A plain failure, a call through no object, and an argument that does
    // not fit VT_I4 all throw, caught through the base class as Kestrel does.
    plain = E_FAIL;
    EXPECT_EQ(Thrown([&] { driver.InvokeHelper<void>(0x1, DISPATCH_METHOD); }), E_FAIL);
    COleDispatchDriver empty;
    EXPECT_EQ(Thrown([&] { empty.InvokeHelper<void>(0x1, DISPATCH_METHOD); }), E_POINTER);
    plain = S_OK;
    EXPECT_EQ(Thrown([&] { driver.InvokeHelper<void>(0x1, DISPATCH_METHOD, 5000000000L); }), DISP_E_OVERFLOW);
}

}  // namespace
