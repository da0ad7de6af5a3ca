// The PortTalk device's security descriptor, built in user mode by the
// driver's own code: its DACL must be SYSTEM and Administrators with full
// file access, entry for entry, and nothing else.
#include "driver/DeviceSecurity.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

ACL* DaclOf(PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE, defaulted = FALSE;
    ACL* dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    return present ? dacl : nullptr;
}

TEST(DeviceSecurity, GrantsSystemAndAdministratorsFullAccessAndNobodyElse)
{
    SECURITY_DESCRIPTOR built;
    alignas(8) unsigned char acl[ADMIN_ONLY_ACL_SIZE];
    ASSERT_TRUE(NT_SUCCESS(BuildAdminOnlyDescriptor(&built, reinterpret_cast<PACL>(acl))));
    PSECURITY_DESCRIPTOR meant = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1, &meant, nullptr));
    ACL* builtDacl = DaclOf(&built);
    ACL* meantDacl = DaclOf(meant);
    ASSERT_NE(builtDacl, nullptr);
    ASSERT_EQ(builtDacl->AceCount, meantDacl->AceCount);
    for (WORD i = 0; i < meantDacl->AceCount; ++i) {
        ACE_HEADER *builtAce = nullptr, *meantAce = nullptr;
        GetAce(builtDacl, i, reinterpret_cast<void**>(&builtAce));
        GetAce(meantDacl, i, reinterpret_cast<void**>(&meantAce));
        ASSERT_EQ(builtAce->AceSize, meantAce->AceSize) << "entry " << i;
        EXPECT_EQ(std::memcmp(builtAce, meantAce, meantAce->AceSize), 0) << "entry " << i;
    }
    LocalFree(meant);
}

} // namespace
