#include "kestrel/officerecords.h"
