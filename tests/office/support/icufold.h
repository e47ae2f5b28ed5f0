// Full case folding of a whole text in one ICU call: the plain definition
// that every piecewise and shortcut folding of the office code is held to.
#pragma once

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <string>
#include <string_view>

inline std::u16string IcuFold(std::u16string_view text)
{
    std::u16string out(text.size() * 3 + 8, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t len = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                                      reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                                      U_FOLD_CASE_DEFAULT, &status);
    EXPECT_TRUE(U_SUCCESS(status));
    out.resize(U_SUCCESS(status) && len > 0 ? static_cast<std::size_t>(len) : 0);
    return out;
}
