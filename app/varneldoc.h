// The program's document. Varnel keeps no document data: everything lives
// in the search context and the panes. The document type exists so that
// the desktop's registry knows the program as the server of
// "Varnel.Document", under a class identifier of its own.
#pragma once

class CVarnelDoc {
public:
    // Registered type identifier and name of the document type.
    static constexpr const char* kProgId = "Varnel.Document";
    static constexpr const char* kTypeName = "Office Document";
    // Class identifier of the document type.
    static constexpr const char* kClassId = "{5F464DD6-5266-4456-97F2-268EB96FFA3F}";

    CVarnelDoc() = default;
    // A new document only resets what a document holds, which is nothing.
    bool OnNewDocument() { return true; }
};
