// OLE2 compound files (the container of .doc and .xls) on libgsf. libgsf
// walks the sector chains; we only ask it for whole streams, with a cap on
// each stream's size so a hostile directory entry cannot claim gigabytes.
// libgsf is opened with the first compound file, not at start-up: with the
// GLib it brings it took a fifth of varnel-find's start-up, which searches
// of text files, web pages and the XML formats never need.
#pragma once

#include "office/containers/readerror.h"
#include "office/text/byteview.h"

#include <memory>
#include <string>
#include <vector>

namespace platform {
class LazyLibrary;
}

namespace office {

// libgsf, opened by the first compound file read.
platform::LazyLibrary& CompoundFileLibrary();

// True when the bytes begin with the compound-file signature.
bool IsCompoundFile(ByteView bytes);

class CompoundFile {
public:
    CompoundFile();
    ~CompoundFile();
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    // Parses the container in `bytes`, which must outlive this object.
    bool Open(ByteView bytes, ReadError& error);
    // Whether a stream of that name exists in the root storage.
    bool HasStream(const std::string& name) const;
    // The size the directory gives a root-level stream; false when it is
    // missing. A reader charges it before it reads the stream.
    bool StreamSize(const std::string& name, std::uint64_t& size) const;
    // Reads a root-level stream ("WordDocument", "1Table", "Workbook", ...).
    // Fails when it is missing, unreadable or larger than maxBytes. Throws
    // platform::OperationCancelled when the search is stopped meanwhile.
    bool ReadStream(const std::string& name, std::vector<std::uint8_t>& out, ReadError& error,
                    std::size_t maxBytes = std::size_t{256} * 1024 * 1024) const;
    // Names of the root storage's children, in directory order.
    std::vector<std::string> RootNames() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace office
