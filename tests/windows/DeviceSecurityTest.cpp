// The PortTalk device's security descriptor, built in user mode by the driver's
// own code: SYSTEM and Administrators with full file access, nobody else.
#include "driver/DeviceSecurity.h"

#include <sddl.h>

#include <gtest/gtest.h>

namespace {

TEST(DeviceSecurity, GrantsSystemAndAdministratorsFullAccessAndNobodyElse)
{
    SECURITY_DESCRIPTOR built;
    alignas(8) unsigned char acl[ADMIN_ONLY_ACL_SIZE];
    ASSERT_TRUE(NT_SUCCESS(BuildAdminOnlyDescriptor(&built, reinterpret_cast<PACL>(acl))));
    LPSTR text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        &built, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_STREQ(text, "D:(A;;FA;;;SY)(A;;FA;;;BA)");
    LocalFree(text);
}

} // namespace
