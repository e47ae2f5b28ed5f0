// Names of the read error kinds (see readerror.h).
#include "office/containers/readerror.h"

#include <ostream>

namespace office {

std::string_view ReadErrorKindName(ReadErrorKind kind)
{
    switch (kind) {
    case ReadErrorKind::None: return "None";
    case ReadErrorKind::NotThisFormat: return "NotThisFormat";
    case ReadErrorKind::Damaged: return "Damaged";
    case ReadErrorKind::Encrypted: return "Encrypted";
    case ReadErrorKind::TooLarge: return "TooLarge";
    case ReadErrorKind::UnsupportedVersion: return "UnsupportedVersion";
    case ReadErrorKind::Cancelled: return "Cancelled";
    case ReadErrorKind::Unreadable: return "Unreadable";
    case ReadErrorKind::Internal: return "Internal";
    }
    return "?";
}

std::ostream& operator<<(std::ostream& out, ReadErrorKind kind)
{
    return out << ReadErrorKindName(kind);
}

std::ostream& operator<<(std::ostream& out, const ReadError& error)
{
    return out << error.kind << ": " << error.detail;
}

}  // namespace office
