// The one out-of-line helper of the exception classes.
#include "platform/core/exceptions.h"

void Abort()
{
    throw EAbort();
}
