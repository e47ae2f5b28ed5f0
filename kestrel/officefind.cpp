// OfficeFind: the exported entry points. Each method is the shared Word or
// workbook search run for its type-library generation.
#include "kestrel/officefind.h"

#include "kestrel/excelsearch.h"
#include "kestrel/wordsearch.h"

OfficeFind::OfficeFind() = default;

OfficeFind::~OfficeFind() = default;

OfficeFind& OfficeFind::operator=(const OfficeFind&)
{
    return *this;
}

int OfficeFind::SearchWord9(_ResultFileInfo& info, const CArray<_FindKeyWord, _FindKeyWord>& keywords,
                            _FindedConditions conditions, _Word9& word)
{
    return kestrel::SearchWordDocument(info, keywords, conditions, word, 9);
}

int OfficeFind::SearchWord10(_ResultFileInfo& info, const CArray<_FindKeyWord, _FindKeyWord>& keywords,
                             _FindedConditions conditions, _Word10& word)
{
    return kestrel::SearchWordDocument(info, keywords, conditions, word, 10);
}

int OfficeFind::SearchWord11(_ResultFileInfo& info, const CArray<_FindKeyWord, _FindKeyWord>& keywords,
                             _FindedConditions conditions, _Word11& word)
{
    return kestrel::SearchWordDocument(info, keywords, conditions, word, 11);
}

int OfficeFind::SearchExcel9(_ResultFileInfo& info, const CArray<_FindKeyWord, _FindKeyWord>& keywords,
                             _FindedConditions conditions, _Excel9& excel)
{
    return kestrel::SearchWorkbook(info, keywords, conditions, excel, 9);
}

int OfficeFind::SearchExcel10(_ResultFileInfo& info, const CArray<_FindKeyWord, _FindKeyWord>& keywords,
                              _FindedConditions conditions, _Excel10& excel)
{
    return kestrel::SearchWorkbook(info, keywords, conditions, excel, 10);
}

int OfficeFind::SearchExcel11(_ResultFileInfo& info, const CArray<_FindKeyWord, _FindKeyWord>& keywords,
                              _FindedConditions conditions, _Excel11& excel)
{
    return kestrel::SearchWorkbook(info, keywords, conditions, excel, 11);
}
