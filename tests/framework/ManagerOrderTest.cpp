#include "framework/BypassToolManager.h"
#include "support/TraceTest.h"

namespace {

using ManagerOrder = bypass::test::TraceTest;

// All tools share one driver handle: the old tool must close it before the
// new tool opens it again. (The driver under Wine cannot see this order: it
// receives the close of a handle asynchronously.)
TEST_F(ManagerOrder, TheOldToolClosesTheDriverBeforeTheNextToolOpensIt)
{
    CBypassToolManager manager;
    manager.CreateBypassTool(4);
    manager.CreateBypassTool(7);
    manager.CreateBypassTool(0); // the null tool neither opens nor closes
    manager.DestroyBypassTool();
    EXPECT_TRACE("open -> 0\n close\n open -> 0\n close");
}

} // namespace
