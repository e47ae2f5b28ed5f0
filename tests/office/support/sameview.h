// Whether two compared texts agree in their text and in every position of
// their maps: how a shortcut's compared text is held to one built plainly.
#pragma once

#include "office/text/matchtext.h"

#include <gtest/gtest.h>

inline ::testing::AssertionResult SameView(const office::MatchText& a, const office::MatchText& b)
{
    if (a.Text() != b.Text()) return ::testing::AssertionFailure() << "texts differ";
    for (std::size_t i = 0; i <= a.Text().size(); ++i) {
        if (a.OriginalStart(i) != b.OriginalStart(i) || a.OriginalEnd(i) != b.OriginalEnd(i) ||
            a.IsCharacterEdge(i) != b.IsCharacterEdge(i)) {
            return ::testing::AssertionFailure() << "maps differ at " << i;
        }
    }
    return ::testing::AssertionSuccess();
}
