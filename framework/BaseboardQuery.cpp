#include "framework/BaseboardQuery.h"

namespace bypass {
namespace {
ProductNameSource g_source = nullptr;
} // namespace

std::string ReadBaseboardProduct() { return g_source ? g_source() : PlatformBaseboardProduct(); }

ProductNameSource SetProductNameSource(ProductNameSource source)
{
    ProductNameSource previous = g_source;
    g_source = source;
    return previous;
}

} // namespace bypass
