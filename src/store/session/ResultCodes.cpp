#include "store/session/ResultCodes.h"

#include <ostream>

std::ostream& operator<<(std::ostream& out, TVXResult result)
{
    return out << resultNumber(result);
}
