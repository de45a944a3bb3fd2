#include "support/writable_code.h"

namespace marltest {

std::string DescribeWritableExecutablePages() {
    std::string text;
    for (const std::string& page : WritableExecutablePages())
        text += page + "\n";
    return text;
}

} // namespace marltest
