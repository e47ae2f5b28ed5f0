// Dispatch identifiers of Word's automation members, as Word's type
// libraries of Office 2000, XP and 2003 number them. The callers (the
// application wrappers and Kestrel) and the built-in Word's objects both use
// this one table, so the two sides cannot drift apart. It lives in the
// platform layer because Kestrel links the platform but never the built-in
// Office.
#pragma once

#include "platform/wintypes.h"

namespace WordDispid {
constexpr DISPID ApplicationVisible = 0x17;
constexpr DISPID ApplicationQuit = 0x451;
constexpr DISPID ApplicationDocuments = 0x6;
constexpr DISPID ApplicationSelection = 0x5;
constexpr DISPID DocumentsCount = 0x2;
// Open's identifier differs by generation: 12, 15 and 16 arguments.
constexpr DISPID DocumentsOpen9 = 0xF;
constexpr DISPID DocumentsOpen10 = 0x12;
constexpr DISPID DocumentsOpen11 = 0x13;
constexpr DISPID DocumentClose = 0x451;
constexpr DISPID SelectionFind = 0x106;
constexpr DISPID FindExecute = 0x1BC;
}  // namespace WordDispid
