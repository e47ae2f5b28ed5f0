// Placeholder translation unit until OfficeFind lands.
#include "kestrel/officerecords.h"
