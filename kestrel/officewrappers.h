// The application wrappers: dispatch drivers over Word's and Excel's
// Application objects, one class per type-library generation (9 = Office
// 2000, 10 = Office XP, 11 = Office 2003). The dispatch identifiers of the
// members called are those of platform/worddispids.h and exceldispids.h.
//
// The wrappers add no data to COleDispatchDriver, and their members are
// inline: each module that uses them (Varnel's search driver, Kestrel)
// compiles its own copy, so Kestrel exports nothing but OfficeFind. The
// generations share their Application members' identifiers; they stay
// distinct classes because OfficeFind's methods are told apart by them.
#pragma once

#include "platform/exceldispids.h"
#include "platform/oledispatchdriver.h"
#include "platform/worddispids.h"

// The caller's side of Word's Application object, common to all generations.
class CWordApplicationDriver : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    void SetVisible(bool visible) { SetProperty(WordDispid::ApplicationVisible, visible); }
    void Quit(VARIANT* saveChanges, VARIANT* originalFormat, VARIANT* routeDocument)
    {
        InvokeHelper<void>(WordDispid::ApplicationQuit, DISPATCH_METHOD, saveChanges, originalFormat, routeDocument);
    }
    // The caller owns the returned reference; null when Word gives none.
    IDispatch* GetDocuments() { return GetProperty<IDispatch*>(WordDispid::ApplicationDocuments); }
    IDispatch* GetSelection() { return GetProperty<IDispatch*>(WordDispid::ApplicationSelection); }
};

// The caller's side of Excel's Application object, common to all generations.
class CExcelApplicationDriver : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    void SetVisible(bool visible) { SetProperty(ExcelDispid::ApplicationVisible, visible); }
    void SetDisplayAlerts(bool alerts) { SetProperty(ExcelDispid::ApplicationDisplayAlerts, alerts); }
    void Quit() { InvokeHelper<void>(ExcelDispid::ApplicationQuit, DISPATCH_METHOD); }
    // The caller owns the returned reference; null when Excel gives none.
    IDispatch* GetWorkbooks() { return GetProperty<IDispatch*>(ExcelDispid::ApplicationWorkbooks); }
};

class _Word9 : public CWordApplicationDriver {
public:
    using CWordApplicationDriver::CWordApplicationDriver;
};

class _Word10 : public CWordApplicationDriver {
public:
    using CWordApplicationDriver::CWordApplicationDriver;
};

class _Word11 : public CWordApplicationDriver {
public:
    using CWordApplicationDriver::CWordApplicationDriver;
};

class _Excel9 : public CExcelApplicationDriver {
public:
    using CExcelApplicationDriver::CExcelApplicationDriver;
};

class _Excel10 : public CExcelApplicationDriver {
public:
    using CExcelApplicationDriver::CExcelApplicationDriver;
};

class _Excel11 : public CExcelApplicationDriver {
public:
    using CExcelApplicationDriver::CExcelApplicationDriver;
};

static_assert(sizeof(_Word9) == sizeof(COleDispatchDriver) && sizeof(_Excel11) == sizeof(COleDispatchDriver),
              "the wrappers add no data");
