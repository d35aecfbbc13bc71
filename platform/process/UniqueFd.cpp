#include "platform/process/UniqueFd.h"

#include <unistd.h>

void UniqueFd::reset(int replacement) noexcept
{
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = replacement;
}
